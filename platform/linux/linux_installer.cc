#include "platform/linux/linux_installer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/version.h"
#include "runtime/main_queue.h"
#include "updates/archive_entry.h"

#ifndef HALVYN_VERSION
#define HALVYN_VERSION kProgramVersion
#endif
#ifndef HALVYN_BUILD
#define HALVYN_BUILD 1
#endif
#ifndef HALVYN_UPDATE_URL
#define HALVYN_UPDATE_URL ""
#endif

namespace halvyn {

namespace fs = std::filesystem;

LinuxInstaller::LinuxInstaller(MainQueue& main, std::function<Unpacker*()> unpacker)
    : main_(main), unpacker_(std::move(unpacker)) {}

LinuxInstaller::~LinuxInstaller() {
    lifetime_.end();
    for (auto& w : workers_)
        if (w.joinable()) w.join();
}

void LinuxInstaller::unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                            std::function<void(FileResult)> done) {
    const Lifetime::Token alive = lifetime_.token();
    MainQueue* main = &main_;
    Unpacker* unpackNow = unpacker_ ? unpacker_() : nullptr;
    if (!unpackNow) {
        main->post([alive, done = std::move(done)] {
            if (alive) done(FileResult::failure("Updates cannot be unpacked: the updates module is missing"));
        });
        return;
    }
    workers_.emplace_back([archive, destination, rules, done = std::move(done), alive, main, unpackNow]() mutable {
        FileResult result = unpackNow(archive, destination, rules);
        main->post([alive, done = std::move(done), result = std::move(result)] {
            if (alive) done(result);
        });
    });
}

FileResult LinuxInstaller::launchDetached(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (auto& a : arguments) args << QString::fromStdString(a);
    if (!QProcess::startDetached(QString::fromStdString(program), args))
        return FileResult::failure("could not start " + program);
    return {};
}

void LinuxInstaller::terminate() {
    if (QCoreApplication::instance()) QCoreApplication::exit(0);
}

namespace {

// Folders that other programs share: an update never replaces one, marked or not.
bool sharedFolder(const fs::path& p) {
    static const char* const kShared[] = {"/", "/usr", "/usr/local", "/opt", "/usr/games", "/usr/local/games",
                                          "/snap", "/snap/bin", "/bin", "/sbin", "/etc", "/var", "/tmp", "/home"};
    for (const char* s : kShared)
        if (p == s) return true;
    return false;
}

// The user's home folders: $HOME as written (with a trailing slash, or through a link) and the
// one the password database names, each as its real path.
std::vector<fs::path> homeFolders() {
    std::vector<fs::path> homes;
    std::error_code ec;
    if (const char* h = std::getenv("HOME"); h && *h) homes.push_back(fs::weakly_canonical(h, ec));
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        homes.push_back(fs::weakly_canonical(pw->pw_dir, ec));
    return homes;
}

bool within(const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o) return false;
    return true;
}

// Why the folder must not be replaced by an update, or empty when the installation made it and
// nothing else is in it: its manifest names the program and lists every file present.
std::string strangerIn(const fs::path& prefix, const std::string& program) {
    std::ifstream manifest(prefix / LinuxBundle::kManifest, std::ios::binary);
    if (!manifest) return prefix.string() + " was not made by its installation";
    std::string line;
    if (!std::getline(manifest, line) || line != program) return prefix.string() + " was not made by its installation";
    std::set<std::string> files, folders;
    std::size_t bytes = 0;
    while (std::getline(manifest, line)) {
        bytes += line.size() + 1;
        auto clean = safeEntryPath(line);
        if (!clean || *clean != line || files.size() >= UnpackRules::kMaxEntries || bytes > (1u << 20))
            return prefix.string() + " has a damaged installation manifest";
        for (std::size_t slash = line.find('/'); slash != std::string::npos; slash = line.find('/', slash + 1))
            folders.insert(line.substr(0, slash));
        files.insert(line);
    }
    // Everything present must be listed; the walk ends at the first thing that is not, so it
    // visits no more than the manifest lists.
    std::vector<fs::path> pending{prefix};
    std::error_code ec;
    while (!pending.empty()) {
        const fs::path folder = pending.back();
        pending.pop_back();
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string relative = it->path().lexically_relative(prefix).string();
            const bool isFolder = it->symlink_status(ec).type() == fs::file_type::directory;
            if (isFolder ? !folders.count(relative) : !files.count(relative))
                return prefix.string() + " holds " + printableEntryName(relative) + ", which its installation did not put there";
            if (isFolder) pending.push_back(it->path());
        }
        if (ec) return folder.string() + ": " + ec.message();
    }
    return {};
}

}  // namespace

LinuxBundle::LinuxBundle(std::string executable, std::string version, std::optional<long long> build,
                         std::optional<std::string> server) {
    std::error_code ec;
    if (executable.empty()) executable = fs::read_symlink("/proc/self/exe", ec).string();
    exe_ = fs::weakly_canonical(executable, ec);
    info_.name = "Halvyn";
    info_.identifier = "com.halvyn.app";
    info_.version = version.empty() ? HALVYN_VERSION : version;
    info_.build = build ? build : std::optional<long long>(HALVYN_BUILD);
    info_.updateServer = server ? *server : HALVYN_UPDATE_URL;
    info_.executables = {"bin/" + exe_.filename().string()};
    info_.launchCommand = {exe_.string()};
}

std::string LinuxBundle::notReplaceable(const fs::path& exe, const std::string& name) {
    if (exe.empty() || !exe.has_parent_path() || exe.parent_path().filename() != "bin")
        return "its program " + exe.string() + " is not in the bin folder of an installation";
    const fs::path prefix = exe.parent_path().parent_path();
    if (sharedFolder(prefix)) return prefix.string() + " is shared with other programs";
    for (const fs::path& home : homeFolders())
        if (within(home, prefix)) return prefix.string() + " is the home folder or holds it";
    if (auto stranger = strangerIn(prefix, name); !stranger.empty()) return stranger;
    // The new tree is unpacked beside it and takes its place by renaming.
    if (::access(prefix.parent_path().c_str(), W_OK) != 0)
        return prefix.parent_path().string() + ": " + std::strerror(errno);
    return {};
}

BundleInfo LinuxBundle::info() const {
    // Judged at each use: what is in the folder can change while the program runs.
    BundleInfo info = info_;
    info.notReplaceable = notReplaceable(exe_, info_.name);
    // /usr holds what the system's packages install; nothing else puts the program there.
    info.packaged = exe_.parent_path() == "/usr/bin";
    if (info.notReplaceable.empty()) info.path = exe_.parent_path().parent_path().string();
    return info;
}

}  // namespace halvyn
