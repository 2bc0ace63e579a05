#pragma once
// The running application as installed: its name, version and build, the tree an update replaces,
// and how to start it again. Read once per use; an update changes it only after a relaunch.

#include <optional>
#include <string>
#include <vector>

namespace halvyn {

struct BundleInfo {
    std::string name;        // the application's name ("Halvyn"); an install needs it
    std::string identifier;  // "com.halvyn.app"
    std::string version;     // the short version string ("1.4.2")
    std::optional<long long> build;  // the build number, absent when it is not a whole number
    // The installed tree an update replaces as a whole (the application bundle, or the folder the
    // program was installed into); empty when the application cannot update itself.
    std::string path;
    // Why it cannot, when `path` is empty: the user updates it some other way.
    std::string notReplaceable;
    // Installed by the system's package manager, which updates it.
    bool packaged = false;
    // Paths inside the tree, relative to it, that must be executable after an install; the
    // first is the program itself. An archive's tree that lacks one of them is refused.
    std::vector<std::string> executables;
    // The program and arguments that start the installed application again.
    std::vector<std::string> launchCommand;
    // Root of the update server; empty when this build has updates turned off.
    std::string updateServer;
};

class Bundle {
public:
    virtual ~Bundle() = default;
    virtual BundleInfo info() const = 0;
};

}  // namespace halvyn
