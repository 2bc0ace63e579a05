#include "settings/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

std::optional<std::string> readFile(const std::filesystem::path& path, bool* missing) {
    if (missing) *missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (missing) *missing = errno == ENOENT;
        return std::nullopt;
    }
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
    WriteResult r;
    std::string tmp = path.string() + ".tmp-XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        r.error = errorText("cannot create a temporary file beside", path, errno);
        return r;
    }
    auto fail = [&](const char* what) {
        r.error = errorText(what, tmp, errno);
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
        r.error = errorText("cannot close", tmp, errno);
        ::unlink(tmp.c_str());
        return r;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        r.error = errorText("cannot replace", path, errno);
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
    for (int i = 1; i < 1000; ++i) {
        std::string name = path.string();
        name.append(suffix);
        if (i > 1) {
            name.push_back('-');
            name.append(std::to_string(i));
        }
        const std::filesystem::path target(name);
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) continue;  // never replace an earlier one
        if (::rename(path.c_str(), target.c_str()) == 0) return target;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace halvyn
