#include "settings/file_io.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvyn {

namespace {

std::string errorText(const char* what, const std::filesystem::path& path, int err) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

FileSignature signatureOfStat(const struct stat& st) {
    FileSignature s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    return s;
}

}  // namespace

FileSignature signatureOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return signatureOfStat(st);
}

std::optional<std::string> readFile(const std::filesystem::path& path, ReadStatus* status, std::size_t maxBytes) {
    ReadStatus ignored;
    ReadStatus& st = status ? *status : ignored;
    // Non-blocking, so that a FIFO without a writer cannot stall the caller in open().
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A folder on the way that is no folder leaves no file there either.
        st = errno == ENOENT || errno == ENOTDIR ? ReadStatus::missing : ReadStatus::failed;
        return std::nullopt;
    }
    auto fail = [&](ReadStatus why) -> std::optional<std::string> {
        ::close(fd);
        st = why;
        return std::nullopt;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(ReadStatus::failed);
    if (!S_ISREG(info.st_mode)) return fail(ReadStatus::notRegular);
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return fail(ReadStatus::tooLarge);
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(ReadStatus::failed);
        }
        if (n == 0) break;
        // It may grow while being read.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) return fail(ReadStatus::tooLarge);
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    st = ReadStatus::ok;
    return out;
}

std::filesystem::path writeTarget(const std::filesystem::path& path) {
    std::filesystem::path target = path;
    // A bounded walk: a loop of links ends at the last one reached, and replacing that one fails
    // no worse than the loop itself would.
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) break;
        std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

WriteResult writeFileAtomically(const std::filesystem::path& link, std::string_view content) {
    WriteResult r;
    const std::filesystem::path path = writeTarget(link);
    std::string tmp = path.string() + ".tmp-XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        r.code = errno;
        r.error = errorText("cannot create a temporary file beside", path, r.code);
        return r;
    }
    // Held until the file is closed (or the writer dies): tells a starting program that this
    // temporary is still being written.
    ::flock(fd, LOCK_EX);
    auto fail = [&](const char* what) {
        r.code = errno;
        r.error = errorText(what, tmp, r.code);
        ::close(fd);
        ::unlink(tmp.c_str());
        return r;
    };
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot flush");
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail("cannot inspect");
    if (::close(fd) != 0) {
        r.code = errno;
        r.error = errorText("cannot close", tmp, r.code);
        ::unlink(tmp.c_str());
        return r;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        r.code = errno;
        r.error = errorText("cannot replace", path, r.code);
        ::unlink(tmp.c_str());
        return r;
    }
    // Make the rename itself durable.
    std::filesystem::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    r.ok = true;
    r.signature = signatureOfStat(st);
    return r;
}

std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, std::string_view suffix) {
    std::optional<std::filesystem::path> oldest;
    std::timespec oldestTime{};
    for (int i = 1; i <= kKeptAsideCopies; ++i) {
        std::string name = path.string();
        name.append(suffix);
        if (i > 1) {
            name.push_back('-');
            name.append(std::to_string(i));
        }
        std::filesystem::path target(name);
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (::rename(path.c_str(), target.c_str()) == 0) return target;
            return std::nullopt;
        }
        // Renaming a file sets its change time: the earliest one was set aside longest ago.
        const bool earlier = st.st_ctim.tv_sec < oldestTime.tv_sec ||
                             (st.st_ctim.tv_sec == oldestTime.tv_sec && st.st_ctim.tv_nsec < oldestTime.tv_nsec);
        if (!oldest || earlier) {
            oldest = std::move(target);
            oldestTime = st.st_ctim;
        }
    }
    // Every name is taken: the new copy replaces the oldest, so setting aside never stops.
    if (::rename(path.c_str(), oldest->c_str()) == 0) return oldest;
    return std::nullopt;
}

namespace {

// Removes `file` unless a running writer holds its lock.
bool removeIfStale(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::unlink(file.c_str()) == 0;
    ::close(fd);
    return removed;
}

// Whether `name` is `stem` + ".tmp-" and the six characters mkostemp fills in.
bool isTemporaryOf(std::string_view name, std::string_view stem) {
    constexpr std::string_view mark = ".tmp-";
    if (name.size() <= mark.size() + 6) return false;
    name.remove_suffix(6);
    return name.ends_with(mark) && name.substr(0, name.size() - mark.size()).ends_with(stem);
}

int removeTemporaries(const std::filesystem::path& dir, std::string_view stem, bool exact) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isTemporaryOf(name, stem) || (exact && name.size() != stem.size() + 11)) continue;
        if (removeIfStale(it->path())) ++removed;
    }
    return removed;
}

}  // namespace

int removeStaleTemporaries(const std::filesystem::path& path) {
    const std::filesystem::path target = writeTarget(path);
    return removeTemporaries(target.parent_path(), target.filename().string(), true);
}

int removeStaleTemporariesIn(const std::filesystem::path& folder, std::string_view extension) {
    return removeTemporaries(folder, extension, false);
}

}  // namespace halvyn
