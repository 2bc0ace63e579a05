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
    if (std::holds_alternative<std::string>(parsed)) {
        // Refused: exit status 2, nothing on standard output, one printable line on standard error.
        std::ostringstream out, err;
        if (runScenario(text, out, err) != 2 || !out.str().empty()) std::abort();
        const std::string line = err.str();
        if (line.size() < 2 || line.back() != '\n') std::abort();
        for (std::size_t i = 0; i + 1 < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            if (c < 0x20 || c == 0x7F) std::abort();
        }
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
