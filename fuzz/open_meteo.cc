// The weather service's answer: any bytes give a report or an error text, never a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "weather/open_meteo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto result = halvyn::openmeteo::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (auto* report = std::get_if<halvyn::WeatherReport>(&result)) {
        volatile std::size_t n = report->hourly.size() + report->condition.size();
        (void)n;
    }
    return 0;
}
