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

SimInstaller::~SimInstaller() { lifetime_.end(); }

FileResult SimInstaller::unpackNow(const std::string& archive, const std::string& destination,
                                   const UnpackRules& rules) {
    std::string error;
    auto bytes = files_.readFile(archive, std::size_t{64} << 20, &error);
    if (!bytes) return FileResult::failure(error);
    auto doc = parseJson(*bytes);
    const Value* entries = doc && doc->isObject() ? doc->find("entries") : nullptr;
    if (!entries || !entries->isArray()) return FileResult::failure("The archive is damaged or truncated.");
    ArchiveEntryCheck check(rules, UINT64_MAX);
    for (const Value& e : entries->asArray()) {
        const Value* path = e.find("path");
        const Value* type = e.find("type");
        if (!path || !path->isString() || !type || !type->isString())
            return FileResult::failure("The archive is damaged or truncated.");
        const std::string& kind = type->asString();
        const Value* target = e.find("target");
        const Value* data = e.find("data");
        const std::string contents = data && data->isString() ? data->asString() : std::string();
        const EntryKind k = kind == "dir" ? EntryKind::directory
                            : kind == "file" ? EntryKind::file
                            : kind == "link" ? EntryKind::link
                                             : EntryKind::other;
        if (k == EntryKind::other) return FileResult::failure("The archive is damaged or truncated.");
        const auto verdict = check.admit(path->asString(), k, target && target->isString() ? target->asString() : "",
                                         k == EntryKind::file ? std::optional<std::uint64_t>(contents.size()) : std::nullopt);
        if (!verdict.ok()) return FileResult::failure(verdict.refusal);
        const std::string at = destination + "/" + verdict.path;
        // Never write through a link unpacked before.
        for (std::size_t slash = verdict.path.find('/'); slash != std::string::npos; slash = verdict.path.find('/', slash + 1))
            if (files_.type(destination + "/" + verdict.path.substr(0, slash)) == FileType::link)
                return FileResult::failure("refused the archive entry \"" + printableEntryName(path->asString()) + "\"");
        if (k == EntryKind::directory) {
            if (auto r = files_.createDirectories(at); !r.ok) return r;
        } else if (k == EntryKind::file) {
            if (auto over = check.spend(contents.size()); !over.empty()) return FileResult::failure(over);
            files_.put(at, contents);
        } else {
            files_.putLink(at, target->asString());
        }
    }
    if (auto whole = check.finish(); !whole.empty()) return FileResult::failure(whole);
    // Nothing runs here: the program only has to be a file.
    if (!rules.program.empty() && files_.type(destination + "/" + rules.topFolder + "/" + rules.program) != FileType::file)
        return FileResult::failure("the new version's " + rules.program + " is not a program");
    return {};
}

void SimInstaller::unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                          std::function<void(FileResult)> done) {
    FileResult result = unpackNow(archive, destination, rules);
    const Lifetime::Token alive = lifetime_.token();
    main_.post([alive, done = std::move(done), result = std::move(result)] {
        if (alive) done(result);
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

SimArchiveVerifier::~SimArchiveVerifier() { lifetime_.end(); }

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
    const Lifetime::Token alive = lifetime_.token();
    main_.post([alive, done = std::move(done), facts = std::move(facts)] {
        if (alive) done(facts);
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
