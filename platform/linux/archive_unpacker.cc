#include "platform/linux/archive_unpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "updates/archive_entry.h"

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

FileResult unpackArchive(const std::string& archivePath, const std::string& destination, const UnpackRules& rules) {
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

}  // namespace halvyn
