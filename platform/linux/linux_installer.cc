#include "platform/linux/linux_installer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

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

namespace {

// No folder on the way to `relative` may be a link: an entry is never written through one.
bool throughLink(const std::string& destination, const std::string& relative) {
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        struct stat st {};
        if (::lstat((destination + "/" + relative.substr(0, slash)).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return true;
    }
    return false;
}

// Writes all of `size` bytes at `offset`: a short write is retried, and a write that makes no
// progress reports the system's reason (a full disk is "No space left on device").
bool writeAll(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

FileResult writeEntry(archive* in, const std::string& path, mode_t mode, ArchiveEntryCheck& check) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return FileResult::failure(path + ": " + std::strerror(errno));
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    std::uint64_t extent = 0;  // what the file takes, holes included
    for (;;) {
        const int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN || offset < 0) {
            ::close(fd);
            return FileResult::failure(std::string("The archive is damaged or truncated: ") + archive_error_string(in));
        }
        const std::uint64_t end = static_cast<std::uint64_t>(offset) + size;
        if (end > extent) {
            if (auto over = check.spend(end - extent); !over.empty()) {
                ::close(fd);
                return FileResult::failure(over);
            }
            extent = end;
        }
        if (!writeAll(fd, static_cast<const char*>(block), size, static_cast<off_t>(offset))) {
            const FileResult f = FileResult::failure(path + ": " + std::strerror(errno));
            ::close(fd);
            return f;
        }
    }
    // A file that ends in a hole keeps its length.
    if (extent > 0 && ::ftruncate(fd, static_cast<off_t>(extent)) != 0) {
        const FileResult f = FileResult::failure(path + ": " + std::strerror(errno));
        ::close(fd);
        return f;
    }
    ::fchmod(fd, mode);  // the umask must not take the executable bits away
    if (::close(fd) != 0) return FileResult::failure(path + ": " + std::strerror(errno));
    return {};
}

EntryKind kindOf(archive_entry* entry) {
    if (archive_entry_hardlink(entry)) return EntryKind::other;
    switch (archive_entry_filetype(entry)) {
        case AE_IFDIR: return EntryKind::directory;
        case AE_IFREG: return EntryKind::file;
        case AE_IFLNK: return EntryKind::link;
        default: return EntryKind::other;
    }
}

std::uint64_t freeBytes(const std::string& folder) {
    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) != 0) return UINT64_MAX;  // unknown: the writes will tell
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

// Runs `program --version` with no input and a deadline; its first line of output, or the
// reason it does not count as an answer.
FileResult answersVersion(const std::string& program, double timeout, std::string* answer) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return FileResult::failure(std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so whatever it starts ends with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    std::string arg0 = program, arg1 = "--version";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return FileResult::failure(std::string("it cannot be started: ") + std::strerror(spawned));
    }
    // Its first line, until the output ends or the time is up.
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    while (text.find('\n') == std::string::npos && text.size() < 4096) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        char buffer[1024];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    // Then it must exit within the same time.
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(-pid, SIGKILL);  // whatever it left running, or itself when it did not end
    if (waited != pid) {
        ::waitpid(pid, &status, 0);
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", timeout);
        return FileResult::failure(std::string("it did not answer \"--version\" within ") + limit + " s");
    }
    const std::string line = text.substr(0, text.find('\n'));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || line.empty())
        return FileResult::failure("it did not answer \"--version\"");
    if (answer) *answer = printableEntryName(line);
    return {};
}

// The new tree's program must be one that can run: a regular file, executable, that answers.
FileResult checkProgram(const std::string& destination, const UnpackRules& rules) {
    if (rules.program.empty()) return {};
    const std::string relative = rules.topFolder + "/" + rules.program;
    const std::string path = destination + "/" + relative;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return FileResult::failure("the new version's " + rules.program + " is not a program");
    if (::chmod(path.c_str(), (st.st_mode & 0777) | 0755) != 0) return FileResult::failure(path + ": " + std::strerror(errno));
    if (auto answered = answersVersion(path, rules.versionTimeout, nullptr); !answered.ok)
        return FileResult::failure("the new version's " + rules.program + " does not run: " + answered.error);
    return {};
}

}  // namespace

LinuxInstaller::LinuxInstaller(MainQueue& main) : main_(main) {}

LinuxInstaller::~LinuxInstaller() {
    lifetime_.end();
    for (auto& w : workers_)
        if (w.joinable()) w.join();
}

FileResult LinuxInstaller::unpackNow(const std::string& archivePath, const std::string& destination,
                                     const UnpackRules& rules) {
    std::unique_ptr<archive, int (*)(archive*)> in(archive_read_new(), archive_read_free);
    archive_read_support_format_all(in.get());
    archive_read_support_filter_all(in.get());
    if (archive_read_open_filename(in.get(), archivePath.c_str(), 1 << 16) != ARCHIVE_OK)
        return FileResult::failure(std::string("The archive cannot be read: ") + archive_error_string(in.get()));
    // A tree is at least as large as its compressed archive: without that much room, no start.
    const std::uint64_t available = freeBytes(destination);
    struct stat archiveStat {};
    if (::stat(archivePath.c_str(), &archiveStat) == 0 && static_cast<std::uint64_t>(archiveStat.st_size) > available)
        return FileResult::failure("Not enough free space for the new version: " + std::string(std::strerror(ENOSPC)));
    ArchiveEntryCheck check(rules, available);
    archive_entry* entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN)
            return FileResult::failure(std::string("The archive is damaged or truncated: ") + archive_error_string(in.get()));
        const char* rawName = archive_entry_pathname(entry);
        const char* rawTarget = archive_entry_symlink(entry);
        const EntryKind kind = kindOf(entry);
        const std::optional<std::uint64_t> size =
            archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0
                ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(archive_entry_size(entry)))
                : std::nullopt;
        const auto verdict = check.admit(rawName ? rawName : "", kind, rawTarget ? rawTarget : "", size);
        if (!verdict.ok()) return FileResult::failure(verdict.refusal);
        if (throughLink(destination, verdict.path))
            return FileResult::failure("refused the archive entry \"" + printableEntryName(rawName) + "\"");
        const std::string at = destination + "/" + verdict.path;
        // Only the permission bits a program needs: no set-id or sticky bits from a server.
        const mode_t mode = static_cast<mode_t>(archive_entry_perm(entry)) & 0755;
        std::error_code ec;
        fs::create_directories(fs::path(at).parent_path(), ec);
        if (ec) return FileResult::failure(at + ": " + ec.message());
        switch (kind) {
            case EntryKind::directory: {
                struct stat st {};
                if (::lstat(at.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                    return FileResult::failure("refused the archive entry \"" + printableEntryName(rawName) + "\"");
                if (::mkdir(at.c_str(), 0755) != 0 && errno != EEXIST)
                    return FileResult::failure(at + ": " + std::strerror(errno));
                break;
            }
            case EntryKind::file:
                if (auto w = writeEntry(in.get(), at, mode | 0600, check); !w.ok) return w;
                break;
            case EntryKind::link:
                if (::symlink(rawTarget, at.c_str()) != 0) return FileResult::failure(at + ": " + std::strerror(errno));
                break;
            case EntryKind::other: break;  // never admitted
        }
    }
    if (auto whole = check.finish(); !whole.empty()) return FileResult::failure(whole);
    return checkProgram(destination, rules);
}

void LinuxInstaller::unpack(const std::string& archive, const std::string& destination, const UnpackRules& rules,
                            std::function<void(FileResult)> done) {
    const Lifetime::Token alive = lifetime_.token();
    MainQueue* main = &main_;
    workers_.emplace_back([archive, destination, rules, done = std::move(done), alive, main]() mutable {
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
