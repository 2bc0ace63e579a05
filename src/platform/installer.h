#pragma once
// What an update needs beyond files: unpacking a release archive, and starting the installed
// program again as a process of its own before this one ends.

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace halvyn {

class Installer {
public:
    virtual ~Installer() = default;

    // Unpacks the archive into `destination`, an existing empty folder, off the main queue;
    // `done` runs once, on the main queue. An entry that would land outside the destination (an
    // absolute path, a ".." component, a link whose target leads out) fails the whole unpacking,
    // as does a damaged or truncated archive; what was unpacked stays for the caller to remove.
    virtual void unpack(const std::string& archive, const std::string& destination,
                        std::function<void(FileResult)> done) = 0;

    // Starts `program` with `arguments` as a detached process that outlives this one. Each
    // argument reaches the program as it is: nothing is parsed by a shell on the way.
    virtual FileResult launchDetached(const std::string& program, const std::vector<std::string>& arguments) = 0;

    // Asks the application to quit, then ends the process with status 0.
    virtual void terminate() = 0;
};

}  // namespace halvyn
