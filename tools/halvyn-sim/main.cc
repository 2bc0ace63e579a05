// halvyn-sim: plays a scenario through the whole system in virtual time and prints its trace.

#include <fstream>
#include <iostream>
#include <string>

#include "sim/runner.h"

namespace {

int usage() {
    std::cerr << "usage: halvyn-sim SCENARIO.json\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--window" || arg == "--frames") {
            std::cerr << "halvyn-sim: " << arg << " needs the desktop program, which this build does not include\n";
            return 2;
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
    return halvyn::runScenario(text, std::cout, std::cerr);
}
