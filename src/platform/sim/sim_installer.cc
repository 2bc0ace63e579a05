#include "platform/sim/sim_installer.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/sim/effect_log.h"
#include "platform/sim/sim_file_system.h"
#include "runtime/main_queue.h"
#include "settings/json_value.h"
#include "updates/archive_entry.h"

namespace halvyn {

SimBundle::SimBundle() {
    info_.name = "Halvyn";
    info_.identifier = "com.halvyn.app";
    info_.version = "1.0.0";
    info_.build = 100;
    info_.path = "/Applications/Halvyn.app";
    info_.executables = {"Contents/MacOS/Halvyn", "Contents/XPCServices/HalvynHelper.xpc"};
    info_.launchCommand = {"open", info_.path};
    info_.updateServer = "https://updates.halvyn.app/";
}

SimInstaller::SimInstaller(MainQueue& main, EffectLog* effects, SimFileSystem& files)
    : main_(main), effects_(effects), files_(files) {}

SimInstaller::~SimInstaller() { *alive_ = false; }

FileResult SimInstaller::unpackNow(const std::string& archive, const std::string& destination) {
    std::string error;
    auto bytes = files_.readFile(archive, std::size_t{64} << 20, &error);
    if (!bytes) return FileResult::failure(error);
    auto doc = parseJson(*bytes);
    const Value* entries = doc && doc->isObject() ? doc->find("entries") : nullptr;
    if (!entries || !entries->isArray()) return FileResult::failure("The archive is damaged or truncated.");
    for (const Value& e : entries->asArray()) {
        const Value* path = e.find("path");
        const Value* type = e.find("type");
        if (!path || !path->isString() || !type || !type->isString())
            return FileResult::failure("The archive is damaged or truncated.");
        auto clean = safeEntryPath(path->asString());
        if (!clean) return FileResult::failure("refused the archive entry \"" + path->asString() + "\"");
        const std::string at = destination + "/" + *clean;
        // Never write through a link unpacked before.
        for (std::size_t slash = clean->find('/'); slash != std::string::npos; slash = clean->find('/', slash + 1))
            if (files_.type(destination + "/" + clean->substr(0, slash)) == FileType::link)
                return FileResult::failure("refused the archive entry \"" + path->asString() + "\"");
        const std::string& kind = type->asString();
        if (kind == "dir") {
            if (auto r = files_.createDirectories(at); !r.ok) return r;
        } else if (kind == "file") {
            files_.put(at, e.find("data") && e.find("data")->isString() ? e.find("data")->asString() : std::string());
        } else if (kind == "link") {
            const Value* target = e.find("target");
            const std::string t = target && target->isString() ? target->asString() : std::string();
            if (!linkStaysInside(*clean, t))
                return FileResult::failure("refused the link \"" + path->asString() + "\" to \"" + t + "\"");
            files_.putLink(at, t);
        } else {
            return FileResult::failure("The archive is damaged or truncated.");
        }
    }
    return {};
}

void SimInstaller::unpack(const std::string& archive, const std::string& destination,
                          std::function<void(FileResult)> done) {
    FileResult result = unpackNow(archive, destination);
    std::weak_ptr<bool> alive = alive_;
    main_.post([alive, done = std::move(done), result = std::move(result)] {
        if (alive.lock()) done(result);
    });
}

FileResult SimInstaller::launchDetached(const std::string& program, const std::vector<std::string>& arguments) {
    if (effects_) {
        Value::Array args;
        for (auto& a : arguments) args.push_back(Value(a));
        effects_->record("process", {{"path", Value(program)}, {"args", Value(std::move(args))}});
    }
    if (!launchError_.empty()) return FileResult::failure(launchError_);
    return {};
}

SimArchiveVerifier::SimArchiveVerifier(MainQueue& main, SimFileSystem& files) : main_(main), files_(files) {}

SimArchiveVerifier::~SimArchiveVerifier() { *alive_ = false; }

std::string SimArchiveVerifier::digestOf(std::string_view bytes) {
    std::string hex;
    for (std::uint64_t lane = 0; lane < 4; ++lane) {
        std::uint64_t h = 14695981039346656037ull ^ (lane * 0x9E3779B97F4A7C15ull);
        for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
        char part[17];
        std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(h));
        hex += part;
    }
    return hex;
}

std::string SimArchiveVerifier::signatureOf(std::string_view bytes) {
    return digestOf("signed with the update key:" + std::string(bytes));
}

void SimArchiveVerifier::examine(const std::string& path, const std::string& signature,
                                 std::function<void(ArchiveFacts)> done) {
    ArchiveFacts facts;
    if (files_.type(path) != FileType::file) {
        facts.error = path + " is not a regular file";
    } else if (auto bytes = files_.readFile(path, std::size_t{1} << 30, &facts.error)) {
        facts.size = bytes->size();
        facts.sha256 = digestOf(*bytes);
        facts.signatureValid = hasKey_ && !signature.empty() && signature == signatureOf(*bytes);
    }
    std::weak_ptr<bool> alive = alive_;
    main_.post([alive, done = std::move(done), facts = std::move(facts)] {
        if (alive.lock()) done(facts);
    });
}

void SimUpdateWindow::open() {
    // Bringing an open window to the front again is not a change a user sees.
    if (open_) return;
    open_ = true;
    if (effects_) effects_->record("window", {{"owner", Value("update")}, {"action", Value("open")}});
}

void SimUpdateWindow::close() {
    if (!open_) return;
    open_ = false;
    if (effects_) effects_->record("window", {{"owner", Value("update")}, {"action", Value("close")}});
}

void SimUpdateWindow::resize(double height) {
    if (effects_)
        effects_->record("window", {{"owner", Value("update")}, {"action", Value("frame")}, {"height", Value(height)}});
}

}  // namespace halvyn
