#pragma once
// Unpacking release archives on a worker thread (the unpacking itself is the updates module's,
// archive_unpacker.h), and starting the installed program again with no shell in between.

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/bundle.h"
#include "platform/installer.h"

namespace halvyn {

class MainQueue;

class LinuxInstaller final : public Installer {
public:
    using Unpacker = FileResult(const std::string& archive, const std::string& destination, const UnpackRules& rules);
    // `unpacker` gives the unpacking when the first archive comes; null fails it.
    LinuxInstaller(MainQueue& main, std::function<Unpacker*()> unpacker);
    ~LinuxInstaller() override;

    void unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                std::function<void(FileResult)> done) override;
    FileResult launchDetached(const std::string& program, const std::vector<std::string>& arguments) override;
    void terminate() override;

private:
    MainQueue& main_;
    std::function<Unpacker*()> unpacker_;
    Lifetime lifetime_;
    // Joined on destruction, so no unpacking outlives the queue it reports to.
    std::vector<std::thread> workers_;
};

// The running program as installed: the folder it was installed into (the parent of its "bin"
// folder), its version and the update server of this build. An update replaces that folder only
// when the installation made it: its manifest names the program and lists every file in it, and
// it is neither a shared folder nor the home folder or one above it.
class LinuxBundle final : public Bundle {
public:
    // Written by the installation, relative to the folder it installed into: the program's name
    // on the first line, then every file it put there, one a line.
    static constexpr const char* kManifest = "share/halvyn/install-manifest";

    // `executable` defaults to the running program; `version`, `build` and `server` to the build's.
    explicit LinuxBundle(std::string executable = {}, std::string version = {}, std::optional<long long> build = {},
                         std::optional<std::string> server = {});
    BundleInfo info() const override;

    // Why an update must not replace the installation of the program `exe` (a real path), or
    // empty when it may.
    static std::string notReplaceable(const std::filesystem::path& exe, const std::string& name);

private:
    std::filesystem::path exe_;
    BundleInfo info_;
};

}  // namespace halvyn
