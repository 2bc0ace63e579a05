// halvyn-sim: plays a scenario through the whole system in virtual time and prints its trace.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/version.h"
#include "sim/runner.h"
#include "sim/scenario.h"
#ifdef HALVYN_SIM_VIEW
#include "shell/sim_view.h"
#endif

namespace {

// Reads the whole scenario into `text`; the reason when it cannot. A FIFO or a device never
// blocks the read: only a regular file is taken.
std::optional<std::string> readScenarioFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::string("cannot be read: ") + std::strerror(errno);
    struct stat st {};
    std::optional<std::string> problem;
    if (::fstat(fd, &st) != 0) {
        problem = std::string("cannot be read: ") + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        problem = "is not a regular file";
    } else {
        // One buffer of the file's size: a long scenario is read once, not copied.
        text.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = std::string("cannot be read: ") + std::strerror(errno);
                break;
            }
            if (n == 0) break;  // shrank while being read
            done += static_cast<std::size_t>(n);
        }
        text.resize(done);
    }
    ::close(fd);
    return problem;
}

constexpr const char* kUsage = "usage: halvyn-sim [--window | --frames DIR] SCENARIO.json\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

void printHelp() {
    std::cout << kUsage
              << "\n"
                 "Plays a scenario through the whole system on a simulated operating system, in\n"
                 "virtual time, and prints its trace: one JSON object per line.\n"
                 "\n"
                 "  --window       play it in real time in the notch window (needs a display)\n"
                 "  --frames DIR   also write PNG frames of the notch into DIR (no display needed)\n"
                 "  -h, --help     show this help and exit\n"
                 "  -v, --version  show the version and exit\n"
                 "\n"
                 "A scenario that is refused prints one line on standard error and exits with 2.\n";
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
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::cout << "halvyn-sim " << halvyn::kProgramVersion << '\n';
            return 0;
        }
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

    std::string text;
    if (auto problem = readScenarioFile(path, text)) {
        std::cerr << "halvyn-sim: " << halvyn::printableLine("'" + path + "' " + *problem) << '\n';
        return 2;
    }
    std::ios::sync_with_stdio(false);
#ifdef HALVYN_SIM_VIEW
    if (window) return halvyn::runScenarioInWindow(text, std::cout, std::cerr);
    if (!frames.empty()) return halvyn::runScenarioToFrames(frames, text, std::cout, std::cerr);
#endif
    return halvyn::runScenario(text, std::cout, std::cerr);
}
