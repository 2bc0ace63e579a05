#include "weather/weather_manager.h"

#include "app/context_fixture.h"
#include "settings/json_value.h"

namespace halvyn::context_testing {
namespace {

TEST(WeatherRules, SymbolsRainDistanceSunAndHours) {
    EXPECT_STREQ(weather::symbol("clear", true), "sun.max.fill");
    EXPECT_STREQ(weather::symbol("mostlyClear", false), "moon.stars.fill");
    EXPECT_STREQ(weather::symbol("isolatedThunderstorms", false), "cloud.moon.bolt.fill");
    EXPECT_STREQ(weather::symbol("freezingDrizzle", true), "cloud.sleet.fill");
    EXPECT_STREQ(weather::symbol("volcanicAsh", true), "questionmark");
    EXPECT_TRUE(weather::isPrecipitation("drizzle"));
    EXPECT_FALSE(weather::isPrecipitation("freezingDrizzle"));
    EXPECT_FALSE(weather::isPrecipitation("hail"));

    const GeoCoordinate berlin{52.52, 13.405};
    EXPECT_NEAR(weather::distance(berlin, {52.52 + 5.0 / 111.195, 13.405}), 5000, 5);
    EXPECT_TRUE(std::isnan(weather::distance(berlin, {std::nan(""), 0})));

    const WallTime rise = *parseIso8601("2026-03-02T06:00:00Z"), set = *parseIso8601("2026-03-02T17:00:00Z");
    const WeatherReport::Day day{rise, set};
    EXPECT_EQ(weather::chooseSun(day, rise - std::chrono::seconds(1))->type, SunType::sunrise);
    EXPECT_EQ(weather::chooseSun(day, rise)->type, SunType::sunset);
    EXPECT_EQ(*weather::chooseSun(day, *parseIso8601("2026-03-02T22:00:00Z")), (Sun{SunType::sunrise, rise}));
    EXPECT_FALSE(weather::chooseSun(WeatherReport::Day{rise, std::nullopt}, rise));
    EXPECT_FALSE(weather::chooseSun(std::nullopt, rise));

    const WallTime now = *parseIso8601("2026-03-02T13:30:00Z");
    EXPECT_EQ(weather::nearestChance({{*parseIso8601("2026-03-02T14:00:00Z"), 0.9},
                                      {*parseIso8601("2026-03-02T13:00:00Z"), 0.125}},
                                     now),
              13)
        << "equal distance: the earlier entry, rounded half away from zero";
    EXPECT_EQ(weather::nearestChance({}, now), std::nullopt);
}

TEST(WeatherRules, CachedWeatherRoundTripsAndRefusesWrongKinds) {
    CachedWeather c{{21, "sun.max.fill", "clear"}, Sun{SunType::sunset, *parseIso8601("2026-03-02T17:00:00Z")}, 13,
                    false, *parseIso8601("2001-01-01T00:01:40Z"), {{52.5, 13.4}, 34}};
    // The stored form itself is in the weather scenarios' traces.
    auto back = weather::decode(weather::encode(c));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->weather, c.weather);
    EXPECT_EQ(back->sun, c.sun);
    EXPECT_EQ(back->lastFetchDate, c.lastFetchDate);
    EXPECT_EQ(back->lastFetchLocation.altitude, 0) << "a stored altitude is not used";

    EXPECT_TRUE(weather::decode(*parseJson(R"({"weather":{},"lastFetchDate":1,"latitude":1,"longitude":2})")));
    for (const char* bad : {R"([])", R"({"weather":{},"lastFetchDate":1,"latitude":1})",
                            R"({"weather":[],"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{"temperature":"hot"},"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{"temperature":21.5},"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{"condition":"lava"},"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{},"sun":{"type":"noon","time":1},"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{},"isRaining":1,"lastFetchDate":1,"latitude":1,"longitude":2})",
                            R"({"weather":{},"lastFetchDate":"today","latitude":1,"longitude":2})"})
        EXPECT_FALSE(weather::decode(*parseJson(bad))) << bad;
}

class WeatherTest : public ContextTest {
protected:
    WeatherTest() {
        auto& loc = sim->simLocation();
        loc.authorization = LocationAuthorization::authorizedAlways;
        loc.fix = GeoLocation{{52.52, 13.405}, 34};
        WeatherReport r;
        r.temperatureCelsius = 21.4;
        r.condition = "drizzle";
        r.isDaylight = true;
        r.firstDay = WeatherReport::Day{wall("2026-03-02T06:00:00Z"), wall("2026-03-02T17:00:00Z")};
        r.hourly = {{wall("2026-03-02T09:00:00Z"), 0.55}};
        sim->simWeather().report = r;
    }
    WeatherManager& w() { return ctx->weather(); }
    void fetch() {
        w().fetchWeather();
        time->runUntil(time->uptime());
    }
};

// What a fetch publishes and caches, the cache's distance, the sun without a first day and the
// location's time-out and refusal are in the weather scenarios' traces. Here: what those do not show.
TEST_F(WeatherTest, TheCacheExpiresAfterAnHourAndAStoredValueThatDoesNotReadIsNoCache) {
    fetch();
    ASSERT_EQ(sim->simWeather().queries.size(), 1u);
    at(3599);
    fetch();
    EXPECT_EQ(sim->simWeather().queries.size(), 1u);
    at(3661);
    fetch();
    EXPECT_EQ(sim->simWeather().queries.size(), 2u) << "61 minutes: a new query";

    defaults().setStored("cachedWeather", Value("{not json"));
    fetch();
    EXPECT_EQ(sim->simWeather().queries.size(), 3u);
    defaults().setStored("cachedWeather", Value(42));
    fetch();
    EXPECT_EQ(sim->simWeather().queries.size(), 4u);
    EXPECT_TRUE(w().hasWeather);
}

TEST_F(WeatherTest, LocationFailuresLeaveTheStateAlone) {
    sim->simLocation().fix = GeoLocation{{1, 2}, 0};
    sim->simLocation().delay = 3;
    std::vector<std::string> results;
    auto record = [&](const LocationResult& r) {
        results.push_back(std::holds_alternative<GeoLocation>(r) ? "fix" : std::get<LocationFailure>(r).description());
    };
    w().requestLocation(record);
    w().requestLocation(record);
    EXPECT_EQ(results, std::vector<std::string>{"The operation couldn\u2019t be completed. (LocationError error 1.)"});
    at(now() + 3);
    EXPECT_EQ(results.back(), "fix");
    EXPECT_EQ(results.size(), 2u) << "the second fix has no request waiting";
    sim->simLocation().deliver({});
    sim->simLocation().deliverError("late");
    EXPECT_EQ(results.size(), 2u);

    sim->simLocation().delay = 0;
    sim->simLocation().fix = GeoLocation{{std::nan(""), 2}, 0};
    fetch();
    EXPECT_TRUE(logged("Error fetching weather: The location has no valid coordinate."));
    EXPECT_FALSE(w().hasWeather);
    sim->simLocation().enabled = false;
    fetch();
    EXPECT_TRUE(logged("Location fetch aborted: Location services are disabled."));
}

TEST_F(WeatherTest, AnAnswerWithoutAFirstDayHasNoSun) {
    sim->simWeather().report->firstDay.reset();
    sim->simWeather().report->condition = "volcanicAsh";
    fetch();
    EXPECT_EQ(w().sun.get(), std::nullopt);
    EXPECT_EQ(w().weather.get(), (Weather{71, "questionmark", std::nullopt}));
    EXPECT_FALSE(w().isRaining);
}

TEST_F(WeatherTest, HourlyLoopOnlyWithAuthorization) {
    w().startUpdating();
    time->runUntil(time->uptime());
    EXPECT_EQ(sim->simWeather().queries.size(), 1u);
    w().startUpdating();
    at(3599);
    EXPECT_EQ(sim->simWeather().queries.size(), 1u);
    at(3601);
    EXPECT_EQ(sim->simWeather().queries.size(), 2u);
    w().stopUpdating();
    at(3 * 3600);
    EXPECT_EQ(sim->simWeather().queries.size(), 2u);
}

}  // namespace
}  // namespace halvyn::context_testing
