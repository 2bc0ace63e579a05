// The scenario reader: any text is either refused with one line or accepted; an accepted short
// scenario is also played, and every trace line it prints must be one valid JSON object.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "sim/registry.h"
#include "sim/runner.h"
#include "sim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvyn;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = parseScenario(text, SimRegistry::standard());
    if (auto* problem = std::get_if<std::string>(&parsed)) {
        if (problem->empty() || problem->find('\n') != std::string::npos) std::abort();
        return 0;
    }
    // Playing is the slow part: only short scenarios, so the fuzzer keeps its pace.
    const Scenario& s = std::get<Scenario>(parsed);
    if (s.until > 120 || s.events.size() > 64) return 0;
    std::ostringstream out, err;
    if (runScenario(text, out, err) != 0) std::abort();
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        if (!nlohmann::json::accept(line)) std::abort();
    }
    return 0;
}
