#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "runtime/dates.h"
#include "runtime/logger.h"
#include "runtime/value.h"

namespace halvyn {
namespace {

TEST(Value, NumbersPrintWithAtMostSixDecimals) {
    EXPECT_EQ(Value(0.3).toJson(), "0.3");
    EXPECT_EQ(Value(1.0).toJson(), "1");
    EXPECT_EQ(Value(0.56f).toJson(), "0.56");  // float widened, then rounded
    EXPECT_EQ(Value(1.0 / 3).toJson(), "0.333333");
    EXPECT_EQ(Value(-0.0000001).toJson(), "0");
    EXPECT_EQ(Value(std::nan("")).toJson(), "null");
    EXPECT_EQ(Value(65535).toJson(), "65535");
}

TEST(Value, EveryNumberPrintsAsJsonThatReadsBack) {
    EXPECT_EQ(Value(1e100).toJson(), "1e+100");
    EXPECT_EQ(Value(-1.7976931348623157e308).toJson(), "-1.7976931348623157e+308");
    EXPECT_EQ(Value(1e15).toJson(), "1000000000000000");
    EXPECT_EQ(Value(1767603600123456.0).toJson(), "1767603600123456");
    EXPECT_EQ(Value(1767603600.5).toJson(), "1767603600.5");
    EXPECT_EQ(Value(12345678901.2345678).toJson(), "12345678901.234568");
    const double samples[] = {1.8e302, 5e302, 1e200, 3.5e62, 1e17, 9007199254740993.0, 123456789012.0625,
                              0x1p33 + 0x1p-19, 1e-300, 0.1 + 0.2, -2.5e-7, 42.4242424242};
    for (double d : samples) {
        for (double v : {d, -d}) {
            const std::string text = Value(v).toJson();
            const double back = std::strtod(text.c_str(), nullptr);
            if (std::fabs(v) < 0x1p33) {
                EXPECT_LE(std::fabs(back - v), 5e-7) << text;
            } else {
                EXPECT_EQ(back, v) << text;
            }
            EXPECT_EQ(text.find_first_not_of("0123456789.e+-"), std::string::npos) << text;
        }
    }
}

TEST(Value, ObjectsKeepInsertionOrderAndEscapeStrings) {
    Value v = Value::object();
    v.set("z", 1);
    v.set("a", "quote\" and \\ and \n");
    v.set("z", 2);
    EXPECT_EQ(v.toJson(), R"({"z":2,"a":"quote\" and \\ and \n"})");
    Value copy = v;
    EXPECT_EQ(copy, v);
    EXPECT_EQ(Value(Value::Array{1, "x", nullptr}).toJson(), R"([1,"x",null])");
    EXPECT_EQ(Value(true).asString(), "");  // wrong kind reads neutral, never crashes
}

TEST(Logger, PublicMarkersAreDroppedAndArgumentsAreTyped) {
    CaptureLogSink sink;
    Logger log(&sink, "com.halvyn.app", "VolumeManager");
    log.info("volumeDiff: %f", 0.05);
    log.error("Error fetching release: %{public}s", std::string("timed out"));
    log.info("[Defaults.iCloud] %s", "Try synchronizing");
    log.info("%d of %d, %5.1f%%, %x", 3, 4L, 2.25, 255u);
    log.info("only %s and %d", "one");  // a missing argument does not read garbage
    log.info("%s", 42);                  // a mismatched argument prints sensibly
    ASSERT_EQ(sink.lines.size(), 6u);
    EXPECT_EQ(sink.lines[0].message, "volumeDiff: 0.050000");
    EXPECT_EQ(sink.lines[0].category, "VolumeManager");
    EXPECT_EQ(sink.lines[1].message, "Error fetching release: timed out");
    EXPECT_EQ(sink.lines[1].level, LogLevel::error);
    EXPECT_EQ(sink.lines[2].message, "[Defaults.iCloud] Try synchronizing");
    EXPECT_EQ(sink.lines[3].message, "3 of 4,   2.2%, ff");
    EXPECT_EQ(sink.lines[4].message, "only one and (missing)");
    EXPECT_EQ(sink.lines[5].message, "42");
}

TEST(Dates, ParsesAndFormatsIso8601) {
    auto t = parseIso8601("2026-03-02T09:00:00Z");
    ASSERT_TRUE(t);
    EXPECT_EQ(formatIso8601(*t), "2026-03-02T09:00:00Z");
    EXPECT_EQ(formatIso8601(*parseIso8601("2026-03-02T10:00:00.250+01:00")), "2026-03-02T09:00:00.250Z");
    EXPECT_EQ(formatIso8601(*parseIso8601("2026-03-02")), "2026-03-02T00:00:00Z");
    EXPECT_FALSE(parseIso8601("2026-02-30T00:00:00Z"));
    EXPECT_FALSE(parseIso8601("yesterday"));
    EXPECT_FALSE(parseIso8601("2026-03-02T09:00:00"));  // no zone: ambiguous
    EXPECT_EQ(parseUtcOffset("-05:30"), -330);
    EXPECT_FALSE(parseUtcOffset("+1:00"));
}

}  // namespace
}  // namespace halvyn
