// The weather service over Qt Network against a loopback server serving recorded forecast
// answers, failures and a server that never answers.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>

#include "linux/loopback_server.h"
#include "platform/linux/qt_http.h"
#include "shell/event_loop.h"
#include "weather/open_meteo.h"
#include "weather/weather_manager.h"

namespace halvyn {
namespace {

using test::LoopbackServer;
using test::spinUntil;

// Recorded from the service (Berlin, timezone=auto, timeformat=unixtime), trimmed to 4 hours.
const char* kAnswer = R"({"latitude":52.52,"longitude":13.419998,"generationtime_ms":0.08,"utc_offset_seconds":3600,
"timezone":"Europe/Berlin","timezone_abbreviation":"GMT+1","elevation":38.0,
"current_units":{"time":"unixtime","interval":"seconds","temperature_2m":"°C","weather_code":"wmo code","is_day":""},
"current":{"time":1764946800,"interval":900,"temperature_2m":-0.5,"weather_code":61,"is_day":0},
"hourly_units":{"time":"unixtime","precipitation_probability":"%"},
"hourly":{"time":[1764946800,1764950400,1764954000,1764957600],"precipitation_probability":[12.5,null,40,55]},
"daily_units":{"time":"unixtime","sunrise":"unixtime","sunset":"unixtime"},
"daily":{"time":[1764889200,1764975600],"sunrise":[1764918463,1765004925],"sunset":[1764947032,1764933412]}})";

struct Answer {
    std::optional<WeatherReport> report;
    std::string error;
    bool done = false;
};

class OpenMeteo : public ::testing::Test {
protected:
    Answer ask(Duration timeout = seconds(10.0)) {
        OpenMeteoWeather service(http, server.url("/v1/forecast").toStdString(), timeout);
        Answer a;
        service.weather(GeoLocation{{52.52, 13.41}, 0}, [&](std::optional<WeatherReport> r, const std::string& e) {
            a.report = std::move(r);
            a.error = e;
            a.done = true;
        });
        EXPECT_TRUE(spinUntil([&] { return a.done; }, 20000));
        return a;
    }
    void serve(int status, QByteArray body) {
        server.handler = [this, status, body](const LoopbackServer::Request& r) {
            lastPath = r.path;
            LoopbackServer::Reply reply;
            reply.status = status;
            reply.body = body;
            return reply;
        };
    }

    LoopbackServer server;
    QtHttp http;
    QByteArray lastPath;
};

TEST_F(OpenMeteo, ReadsARecordedAnswerIntoTheReport) {
    serve(200, kAnswer);
    const Answer a = ask();
    ASSERT_TRUE(a.report) << a.error;
    EXPECT_TRUE(lastPath.startsWith("/v1/forecast?latitude=52.5200&longitude=13.4100&current=temperature_2m,weather_code,is_day"))
        << lastPath.constData();
    EXPECT_DOUBLE_EQ(a.report->temperatureCelsius, -0.5);
    EXPECT_EQ(a.report->condition, "rain");
    EXPECT_FALSE(a.report->isDaylight);
    ASSERT_TRUE(a.report->firstDay);
    EXPECT_EQ(a.report->firstDay->sunrise, WallTime(std::chrono::seconds(1764918463)));
    EXPECT_EQ(a.report->firstDay->sunset, WallTime(std::chrono::seconds(1764947032)));
    ASSERT_EQ(a.report->hourly.size(), 3u);  // the hour without a forecast is left out
    EXPECT_DOUBLE_EQ(a.report->hourly[0].precipitationChance, 0.125);
    EXPECT_EQ(a.report->hourly[1].date, WallTime(std::chrono::seconds(1764954000)));
    // What the weather manager makes of it: the nearest hour's 12.5 % rounds to 13.
    EXPECT_EQ(weather::nearestChance(a.report->hourly, WallTime(std::chrono::seconds(1764946900))), 13);
    EXPECT_STREQ(weather::symbol(a.report->condition, a.report->isDaylight), "cloud.rain.fill");
}

TEST_F(OpenMeteo, FailuresAreErrorsNeverReports) {
    for (const auto& [status, body, error] :
         {std::tuple{500, "Internal Server Error", "HTTP 500"},
          {400, R"({"error":true,"reason":"Latitude must be in range of -90 to 90°."})", "Latitude must be in range"},
          {200, "{\"current\": {\"temperature_2m\": 3", "The weather answer is not a JSON object."},
          {200, R"({"current":{"temperature_2m":"warm","weather_code":3,"is_day":1}})",
           "The weather answer lacks the current conditions."}}) {
        serve(status, body);
        const Answer a = ask();
        EXPECT_FALSE(a.report) << body;
        EXPECT_NE(a.error.find(error), std::string::npos) << a.error;
    }

    // Sun and hours are optional: without them the report has none.
    serve(200, R"({"current":{"temperature_2m":21.4,"weather_code":2,"is_day":1}})");
    const Answer a = ask();
    ASSERT_TRUE(a.report);
    EXPECT_FALSE(a.report->firstDay);
    EXPECT_TRUE(a.report->hourly.empty());
}

TEST_F(OpenMeteo, ASilentServerEndsInATimeOut) {
    server.handler = [](const LoopbackServer::Request&) {
        LoopbackServer::Reply r;
        r.hang = true;
        return r;
    };
    const Answer a = ask(seconds(0.5));
    EXPECT_FALSE(a.report);
    EXPECT_NE(a.error.find("did not answer"), std::string::npos) << a.error;
}

TEST(OpenMeteoCodes, EveryWmoCodeHasAConditionOfTheSymbolTable) {
    for (int code : {0, 1, 2, 3, 45, 48, 51, 53, 55, 56, 57, 61, 63, 65, 66, 67, 71, 73, 75, 77, 80, 81, 82, 85, 86, 95,
                     96, 99}) {
        const std::string c(openmeteo::condition(code));
        EXPECT_TRUE(weather::isKnownCondition(c)) << code << " -> " << c;
    }
    EXPECT_TRUE(openmeteo::condition(4).empty());
    // Rain counts as precipitation, freezing drizzle does not.
    EXPECT_TRUE(weather::isPrecipitation(openmeteo::condition(53)));
    EXPECT_FALSE(weather::isPrecipitation(openmeteo::condition(56)));
    EXPECT_EQ(openmeteo::requestUrl("https://x/forecast?apikey=k", {-33.86791, 151.20732})
                  .rfind("https://x/forecast?apikey=k&latitude=-33.8679&longitude=151.2073&", 0),
              0u);
}

}  // namespace
}  // namespace halvyn
