// halvyn-sim: plays a scenario through the whole system in virtual time and prints its trace.

#include <fstream>
#include <iostream>
#include <string>

#include "sim/runner.h"
#ifdef HALVYN_SIM_VIEW
#include "shell/sim_view.h"
#endif

namespace {

int usage() {
    std::cerr << "usage: halvyn-sim [--window | --frames DIR] SCENARIO.json\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
#ifdef HALVYN_SIM_VIEW
    bool window = false;
    std::string frames;
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--window" || arg == "--frames") {
#ifdef HALVYN_SIM_VIEW
            if (arg == "--window") {
                window = true;
            } else {
                if (i + 1 >= argc) return usage();
                frames = argv[++i];
            }
            if (window && !frames.empty()) return usage();
            continue;
#else
            std::cerr << "halvyn-sim: " << arg << " needs the desktop program, which this build does not include\n";
            return 2;
#endif
        }
        if (!arg.empty() && arg[0] == '-') {
            std::cerr << "halvyn-sim: unknown option '" << arg << "'\n";
            return usage();
        }
        if (!path.empty()) return usage();
        path = arg;
    }
    if (path.empty()) return usage();

    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "halvyn-sim: cannot read '" << path << "'\n";
        return 2;
    }
    // One buffer of the file's size: a long scenario is read once, not copied.
    std::string text;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        in.seekg(0);
        in.read(text.data(), size);
    }
    if (!in) {
        std::cerr << "halvyn-sim: cannot read '" << path << "'\n";
        return 2;
    }
    std::ios::sync_with_stdio(false);
#ifdef HALVYN_SIM_VIEW
    if (window) return halvyn::runScenarioInWindow(text, std::cout, std::cerr);
    if (!frames.empty()) return halvyn::runScenarioToFrames(frames, text, std::cout, std::cerr);
#endif
    return halvyn::runScenario(text, std::cout, std::cerr);
}
