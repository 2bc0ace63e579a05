#include "platform/linux/posix_file_system.h"

#include <QFileSystemWatcher>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

namespace halvyn {

namespace fs = std::filesystem;

namespace {

FileResult fromErrno() { return FileResult::failure(std::strerror(errno)); }
FileResult fromCode(const std::error_code& ec) {
    return ec ? FileResult::failure(ec.message()) : FileResult{};
}

}  // namespace

struct PosixFileSystem::Watches {
    QFileSystemWatcher watcher;
    std::map<int, std::pair<std::string, std::function<void()>>> byId;
    int next = 0;

    void fire(const QString& changed) {
        const std::string path = changed.toStdString();
        auto copy = byId;
        for (auto& [id, w] : copy)
            if (w.first == path || fs::path(w.first).parent_path() == path)
                if (byId.count(id)) w.second();
    }
};

PosixFileSystem::PosixFileSystem() : watches_(std::make_shared<Watches>()) {
    QObject::connect(&watches_->watcher, &QFileSystemWatcher::fileChanged, &watches_->watcher,
                     [w = watches_.get()](const QString& p) { w->fire(p); });
    QObject::connect(&watches_->watcher, &QFileSystemWatcher::directoryChanged, &watches_->watcher,
                     [w = watches_.get()](const QString& p) { w->fire(p); });
}

PosixFileSystem::~PosixFileSystem() = default;

std::optional<std::string> PosixFileSystem::readFile(const std::string& path, std::size_t maxBytes,
                                                     std::string* error) const {
    // What was checked before may have been swapped since: a FIFO must not block the reader, a
    // link must not lead elsewhere; the descriptor itself is checked.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (error) *error = errno == ELOOP ? "Not a regular file" : std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "Not a regular file";
        ::close(fd);
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        if (error) *error = "File too large";
        ::close(fd);
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            if (error) *error = "File too large";
            ::close(fd);
            return std::nullopt;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

FileResult PosixFileSystem::writeFile(const std::string& path, std::string_view data) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fromErrno();
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            FileResult r = fromErrno();
            ::close(fd);
            ::unlink(temp.c_str());
            return r;
        }
        written += static_cast<std::size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        FileResult r = fromErrno();
        ::unlink(temp.c_str());
        return r;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        FileResult r = fromErrno();
        ::unlink(temp.c_str());
        return r;
    }
    return {};
}

FileType PosixFileSystem::type(const std::string& path) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return FileType::none;
    if (S_ISREG(st.st_mode)) return FileType::file;
    if (S_ISDIR(st.st_mode)) return FileType::directory;
    if (S_ISLNK(st.st_mode)) return FileType::link;
    return FileType::other;
}

std::vector<std::string> PosixFileSystem::list(const std::string& directory) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

FileResult PosixFileSystem::createDirectories(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fromCode(ec);
}

FileResult PosixFileSystem::remove(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);  // does not follow links
    return fromCode(ec);
}

FileResult PosixFileSystem::rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return fromErrno();
    return {};
}

FileResult PosixFileSystem::setExecutable(const std::string& path, bool executable) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return fromErrno();
    if (S_ISLNK(st.st_mode)) return FileResult::failure("Is a symbolic link");
    mode_t mode = st.st_mode & 0777;
    mode = executable ? (mode | 0755) : (mode & ~mode_t{0111});
    if (::chmod(path.c_str(), mode) != 0) return fromErrno();
    return {};
}

FileResult PosixFileSystem::exchange(const std::string& a, const std::string& b) {
#if defined(SYS_renameat2)
    constexpr unsigned kExchange = 1u << 1;  // RENAME_EXCHANGE
    if (::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), kExchange) != 0) return fromErrno();
    return {};
#else
    (void)a;
    (void)b;
    return FileResult::failure("Operation not supported");
#endif
}

std::string PosixFileSystem::temporaryDirectory() const {
    std::error_code ec;
    const fs::path p = fs::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

std::string PosixFileSystem::homeDirectory() const {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

std::string PosixFileSystem::cacheDirectory() const {
    // A relative XDG_CACHE_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/') return xdg;
    return (fs::path(homeDirectory()) / ".cache").string();
}

FileResult PosixFileSystem::makePrivateDirectory(const std::string& base, const std::string& relative) {
    std::error_code ec;
    fs::create_directories(base, ec);
    if (ec) return FileResult::failure(base + ": " + ec.message());
    int dir = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return FileResult::failure(base + ": " + std::strerror(errno));
    std::string path = base;
    for (std::size_t start = 0; start <= relative.size();) {
        const std::size_t slash = std::min(relative.find('/', start), relative.size());
        const std::string name = relative.substr(start, slash - start);
        const bool last = slash == relative.size();
        start = slash + 1;
        path += "/" + name;
        if (::mkdirat(dir, name.c_str(), 0700) != 0 && errno != EEXIST) {
            const FileResult f = FileResult::failure(path + ": " + std::strerror(errno));
            ::close(dir);
            return f;
        }
        const int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        ::close(dir);
        dir = next;
        struct stat st {};
        std::string problem;
        if (dir < 0)
            problem = openError == ELOOP || openError == ENOTDIR ? "is a link or not a folder" : std::strerror(openError);
        else if (::fstat(dir, &st) != 0)
            problem = std::strerror(errno);
        else if (st.st_uid != ::geteuid())
            problem = "belongs to another user";
        else if (!last && (st.st_mode & 022))
            problem = "others can write to it";
        else if (last && (st.st_mode & 077)) {
            // Open to others until now: close it, then let nothing in it count as this user's.
            if (::fchmod(dir, 0700) != 0) {
                problem = std::strerror(errno);
            } else {
                for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                    if (fs::remove_all(it->path(), ec); ec) break;
                if (ec) problem = "could not be emptied: " + ec.message();
            }
        }
        if (!problem.empty()) {
            if (dir >= 0) ::close(dir);
            return FileResult::failure(path + ": " + problem);
        }
    }
    ::close(dir);
    return {};
}

Subscription PosixFileSystem::watch(const std::string& path, std::function<void()> changed) {
    const int id = ++watches_->next;
    watches_->byId[id] = {path, std::move(changed)};
    // The folder is watched too: a replaced file ends the watch on the old one.
    watches_->watcher.addPath(QString::fromStdString(fs::path(path).parent_path().string()));
    if (fs::exists(path)) watches_->watcher.addPath(QString::fromStdString(path));
    std::weak_ptr<Watches> weak = watches_;
    return Subscription([weak, id] {
        if (auto w = weak.lock()) w->byId.erase(id);
    });
}

}  // namespace halvyn
