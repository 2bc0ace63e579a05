#pragma once
// What an update needs beyond files: unpacking a release archive, and starting the installed
// program again as a process of its own before this one ends.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace halvyn {

// What an unpacking accepts. The bounds are generous for an application's tree and keep a small
// hostile archive from filling the disk or keeping the unpacker busy for long.
struct UnpackRules {
    static constexpr std::uint64_t kMaxBytes = std::uint64_t{2} << 30;  // 2 GiB unpacked
    static constexpr std::size_t kMaxEntries = 20'000;
    static constexpr double kVersionTimeout = 10;  // seconds for the new program's "--version"

    std::string topFolder;  // the one folder the archive holds ("Halvyn.app")
    // Inside it, the program: a regular file that must answer "--version" (empty: none).
    std::string program;
    std::uint64_t maxBytes = kMaxBytes;
    std::size_t maxEntries = kMaxEntries;
    double versionTimeout = kVersionTimeout;
};

class Installer {
public:
    virtual ~Installer() = default;

    // Unpacks the archive into `destination`, an existing empty folder, off the main queue;
    // `done` runs once, on the main queue. The whole unpacking fails on an entry that would land
    // outside the destination (an absolute path, a ".." component, a link whose target leads
    // out of the top folder), on anything beside the one top folder, on a name with a control
    // character, beyond the bounds or the free space, on a damaged or truncated archive, and
    // when the program is not a regular file that answers "--version" in time; what was
    // unpacked stays for the caller to remove.
    virtual void unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                        std::function<void(FileResult)> done) = 0;

    // Starts `program` with `arguments` as a detached process that outlives this one. Each
    // argument reaches the program as it is: nothing is parsed by a shell on the way.
    virtual FileResult launchDetached(const std::string& program, const std::vector<std::string>& arguments) = 0;

    // Asks the application to quit, then ends the process with status 0.
    virtual void terminate() = 0;
};

}  // namespace halvyn
