#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "app/context.h"
#include "runtime/properties.h"
#include "runtime/virtual_time.h"
#include "sim/registry.h"
#include "sim/runner.h"

namespace halvyn {
namespace {

// A registry with one traced counter and actions that touch it, independent of any manager.
struct Fixture {
    Owned<int, Fixture> counter{0};
    PropertySet props;
    SimRegistry registry;

    Fixture() {
        props.add("counter", counter);
        registry.addObject({"Counter", [this](SimWorld&) -> const PropertySet& { return props; }});
        registry.addAction({"test.add",
                            {{"by", ArgType::number}, {"label", ArgType::string, false, {"x", "y"}}},
                            nullptr,
                            [this](SimWorld& w, const nlohmann::json& ev) {
                                counter.set(counter.get() + ev["by"].get<int>());
                                w.ctx.logger("Counter").info("added %d", ev["by"].get<int>());
                            }});
        registry.addAction({"test.later", {}, nullptr, [this](SimWorld& w, const nlohmann::json&) {
                                w.ctx.main().postAfter(seconds(0.5), [this] { counter.set(counter.get() * 10); });
                            }});
    }

    int run(const std::string& text, std::string& out, std::string& err) {
        std::ostringstream o, e;
        int code = runScenario(text, o, e, registry);
        // The managers' own start-up effects (every manager is built) are not this test's subject.
        std::istringstream lines(o.str());
        out.clear();
        for (std::string line; std::getline(lines, line);)
            if (line.find("\"effect\":") == std::string::npos) out += line + '\n';
        err = e.str();
        return code;
    }
};

TEST(Scenario, RefusesBadInputWithEventIndexAndNothingOnStdout) {
    Fixture f;
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {R"({"events":[{"at":0,"do":"test.add","by":1},{"at":1,"do":"audio.volum"}]})",
         "event 1: unknown action 'audio.volum'\n"},
        {R"({"events":[{"at":-1,"do":"test.add","by":1}]})", "event 0: negative time -1\n"},
        {R"({"events":[{"at":0,"do":"test.add"}]})", "event 0: missing argument 'by' of 'test.add'\n"},
        {R"({"events":[{"at":0,"do":"test.add","by":"2"}]})",
         "event 0: argument 'by' of 'test.add' must be a number\n"},
        {R"({"events":[{"at":0,"do":"test.add","by":1,"label":"z"}]})",
         "event 0: argument 'label' of 'test.add' must be one of 'x', 'y'\n"},
        {R"({"events":[{"do":"test.add","by":1}]})", "event 0: missing 'at'\n"},
        {R"({"events":[3]})", "event 0: must be an object\n"},
        {R"({"events":{}})", "scenario: 'events' must be an array\n"},
        {R"({"trace":["Nope"]})", "scenario: unknown object 'Nope' in 'trace'\n"},
        {R"({"platform":{"warpDrive":{}}})", "scenario: unknown platform service 'warpDrive'\n"},
        {R"({"start":"tomorrow"})", "scenario: 'start' is not an ISO 8601 time: 'tomorrow'\n"},
        {R"({"until":5,"events":[{"at":6,"do":"test.later"}]})", "event 0: 'at' is after 'until'\n"},
        {R"({"colour":1})", "scenario: unknown field 'colour'\n"},
        {R"([1,2])", "scenario: the top level must be an object\n"},
    };
    for (auto& c : cases) {
        std::string out, err;
        EXPECT_EQ(f.run(c.text, out, err), 2) << c.text;
        EXPECT_EQ(out, "") << c.text;
        EXPECT_EQ(err, c.error) << c.text;
    }
    std::string out, err;
    EXPECT_EQ(f.run("{\"events\": [", out, err), 2);
    EXPECT_EQ(err.rfind("scenario: not valid JSON", 0), 0u) << err;
}

TEST(Scenario, HostileFilesAreRefusedOnOneLine) {
    Fixture f;
    const auto nested = [](int levels) {
        return std::string(static_cast<std::size_t>(levels), '[') + std::string(static_cast<std::size_t>(levels), ']');
    };
    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {R"({"events":[{"at":1e400,"do":"test.add","by":1}]})", "event 0: number out of range: 1e400\n"},
        {R"({"events":[{"at":0,"do":"test.add","by":1},{"at":1,"do":"test.add","by":-1e309}]})",
         "event 1: number out of range: -1e309\n"},
        {R"({"settings":{"a":[1e309]}})", "scenario: 'settings': number out of range: 1e309\n"},
        {R"({"until":1e400})", "scenario: 'until': number out of range: 1e400\n"},
        {R"({"until":86400.001})", "scenario: 'until' is beyond 86400 seconds\n"},
        {R"({"events":[{"at":1e15,"do":"test.add","by":1}]})", "event 0: 'at' is beyond 86400 seconds\n"},
        // Top object and "events" array take two levels, the event object a third.
        {R"({"events":[{"at":0,"do":"test.add","by":1,"x":)" + nested(98) + "}]}",
         "event 0: nested deeper than 100 levels\n"},
        {R"({"settings":{"a":)" + nested(11000) + "}}", "scenario: 'settings': nested deeper than 100 levels\n"},
        {"{\"col\\nour\\u001b[2J\\u0085\":1}", "scenario: unknown field 'col\\nour\\u001b[2J\\u0085'\n"},
    };
    for (auto& c : cases) {
        std::string out, err;
        EXPECT_EQ(f.run(c.text, out, err), 2) << c.text.substr(0, 80);
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, c.error);
    }
    std::string out, err;
    // Bytes that are not UTF-8 are spelled out; valid UTF-8 passes.
    EXPECT_EQ(f.run("{\"caf\xc3\xa9\":1,\"x\xff\x1b\":\n", out, err), 2);
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
    EXPECT_NE(err.find("\\xff"), std::string::npos) << err;
    // The bounds themselves are accepted.
    EXPECT_EQ(f.run(R"({"until":86400,"events":[{"at":86400,"do":"test.add","by":1,"x":)" + nested(97) + "}]}", out, err),
              0)
        << err;
    EXPECT_EQ(f.run(R"({"events":[{"at":86400,"do":"test.add","by":1}]})", out, err), 0) << err;
    EXPECT_NE(out.find("{\"t\":86400.000,\"snapshot\""), std::string::npos) << "the default end stays within the bound";
}

TEST(Scenario, TraceHasSnapshotsChangesLogsInTimeOrderWithEventsBeforeSameTimeTasks) {
    Fixture f;
    std::string out, err;
    // test.later at 0.5 schedules ×10 for 1.0; the add at exactly 1.0 runs first.
    const char* text = R"({"events":[
        {"at":1.0,"do":"test.add","by":2},
        {"at":0.5,"do":"test.later"},
        {"at":0.25,"do":"test.add","by":1}
      ],"until":2})";
    ASSERT_EQ(f.run(text, out, err), 0) << err;
    EXPECT_EQ(out,
              "{\"t\":0.000,\"snapshot\":\"Counter\",\"value\":{\"counter\":0}}\n"
              "{\"t\":0.250,\"obj\":\"Counter\",\"prop\":\"counter\",\"value\":1}\n"
              "{\"t\":0.250,\"log\":\"Counter\",\"level\":\"info\",\"message\":\"added 1\"}\n"
              "{\"t\":1.000,\"obj\":\"Counter\",\"prop\":\"counter\",\"value\":3}\n"
              "{\"t\":1.000,\"log\":\"Counter\",\"level\":\"info\",\"message\":\"added 2\"}\n"
              "{\"t\":1.000,\"obj\":\"Counter\",\"prop\":\"counter\",\"value\":30}\n"
              "{\"t\":2.000,\"snapshot\":\"Counter\",\"value\":{\"counter\":30}}\n");
}

TEST(Scenario, TraceListLimitsPropertiesButNotLogs) {
    Fixture f;
    std::string out, err;
    ASSERT_EQ(f.run(R"({"trace":[],"events":[{"at":0,"do":"test.add","by":1}],"until":0})", out, err), 0);
    EXPECT_EQ(out, "{\"t\":0.000,\"log\":\"Counter\",\"level\":\"info\",\"message\":\"added 1\"}\n");
}

TEST(Scenario, UntilDefaultsToTheLastEventPlusTen) {
    Fixture f;
    std::string out, err;
    ASSERT_EQ(f.run(R"({"events":[{"at":0.1,"do":"test.later"},{"at":0.3,"do":"test.add","by":7}]})", out, err), 0);
    EXPECT_NE(out.find("\"t\":10.300,\"snapshot\""), std::string::npos);
}

}  // namespace
}  // namespace halvyn
