#pragma once
// The simulated bundle and installer. A simulated archive is a file holding JSON
// {"entries": [{"path", "type": "file" | "dir" | "link", "target"}]}; unpacking it writes those
// entries into the folder with the same refusals as a real unpacker. Starting a process is the
// effect "process" (path, args); ending this one only marks it.

#include "runtime/lifetime.h"
#include "platform/bundle.h"
#include <memory>
#include <string_view>

#include "platform/archive_verifier.h"
#include "platform/installer.h"
#include "updates/update_controller.h"

namespace halvyn {

class EffectLog;
class MainQueue;
class SimFileSystem;

class SimBundle final : public Bundle {
public:
    SimBundle();
    BundleInfo info() const override { return info_; }
    BundleInfo info_;
};

class SimInstaller final : public Installer {
public:
    SimInstaller(MainQueue& main, EffectLog* effects, SimFileSystem& files);
    ~SimInstaller() override;

    void unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                std::function<void(FileResult)> done) override;
    FileResult launchDetached(const std::string& program, const std::vector<std::string>& arguments) override;
    void terminate() override { terminated_ = true; }

    bool terminated() const { return terminated_; }
    void failLaunch(std::string error) { launchError_ = std::move(error); }
    // Unpacks synchronously; the rule every simulated unpacking follows.
    FileResult unpackNow(const std::string& archive, const std::string& destination, const UnpackRules& rules);

private:
    MainQueue& main_;
    EffectLog* effects_;
    SimFileSystem& files_;
    bool terminated_ = false;
    std::string launchError_;
    Lifetime lifetime_;
};

// Simulated digests and signatures over the simulated files. The digest stands in for SHA-256
// (64 hex digits, a plain non-cryptographic mix: a simulation needs only that different bytes
// give different digests); the trusted key's signature over some bytes is `signatureOf` them.
class SimArchiveVerifier final : public ArchiveVerifier {
public:
    SimArchiveVerifier(MainQueue& main, SimFileSystem& files);
    ~SimArchiveVerifier() override;

    bool hasUpdateKey() const override { return hasKey_; }
    void examine(const std::string& path, const std::string& signature, std::function<void(ArchiveFacts)> done) override;

    void setUpdateKey(bool present) { hasKey_ = present; }
    static std::string digestOf(std::string_view bytes);
    static std::string signatureOf(std::string_view bytes);

private:
    MainQueue& main_;
    SimFileSystem& files_;
    bool hasKey_ = false;
    Lifetime lifetime_;
};

// The update window as effects "window" (owner "update", action "open" | "close" | "frame" with
// the new "height").
class SimUpdateWindow final : public UpdateWindowHost {
public:
    explicit SimUpdateWindow(EffectLog* effects) : effects_(effects) {}
    void open() override;
    void close() override;
    void resize(double height) override;
    bool isOpen() const { return open_; }

private:
    EffectLog* effects_;
    bool open_ = false;
};

}  // namespace halvyn
