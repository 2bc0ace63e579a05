#include "platform/linux/linux_installer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "runtime/main_queue.h"
#include "updates/archive_entry.h"

#ifndef HALVYN_VERSION
#define HALVYN_VERSION "1.0.0"
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

FileResult refused(const std::string& what) { return FileResult::failure("refused the archive entry \"" + what + "\""); }

// No folder on the way to `relative` may be a link: an entry is never written through one.
bool throughLink(const std::string& destination, const std::string& relative) {
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        struct stat st {};
        if (::lstat((destination + "/" + relative.substr(0, slash)).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return true;
    }
    return false;
}

FileResult writeEntry(archive* in, const std::string& path, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return FileResult::failure(path + ": " + std::strerror(errno));
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
            ::close(fd);
            return FileResult::failure(std::string("The archive is damaged or truncated: ") + archive_error_string(in));
        }
        if (::pwrite(fd, block, size, offset) != static_cast<ssize_t>(size)) {
            const FileResult f = FileResult::failure(path + ": " + std::strerror(errno));
            ::close(fd);
            return f;
        }
    }
    ::fchmod(fd, mode);  // the umask must not take the executable bits away
    if (::close(fd) != 0) return FileResult::failure(path + ": " + std::strerror(errno));
    return {};
}

}  // namespace

LinuxInstaller::LinuxInstaller(MainQueue& main) : main_(main) {}

LinuxInstaller::~LinuxInstaller() {
    *alive_ = false;
    for (auto& w : workers_)
        if (w.joinable()) w.join();
}

FileResult LinuxInstaller::unpackNow(const std::string& archivePath, const std::string& destination) {
    std::unique_ptr<archive, int (*)(archive*)> in(archive_read_new(), archive_read_free);
    archive_read_support_format_all(in.get());
    archive_read_support_filter_all(in.get());
    if (archive_read_open_filename(in.get(), archivePath.c_str(), 1 << 16) != ARCHIVE_OK)
        return FileResult::failure(std::string("The archive cannot be read: ") + archive_error_string(in.get()));
    archive_entry* entry = nullptr;
    int entries = 0;
    for (;;) {
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN)
            return FileResult::failure(std::string("The archive is damaged or truncated: ") + archive_error_string(in.get()));
        ++entries;
        const char* rawName = archive_entry_pathname(entry);
        const std::string name = rawName ? rawName : "";
        auto clean = safeEntryPath(name);
        if (!clean || throughLink(destination, *clean)) return refused(name);
        const std::string at = destination + "/" + *clean;
        if (archive_entry_hardlink(entry)) return refused(name);
        // Only the permission bits a program needs: no set-id or sticky bits from a server.
        const mode_t mode = static_cast<mode_t>(archive_entry_perm(entry)) & 0755;
        std::error_code ec;
        fs::create_directories(fs::path(at).parent_path(), ec);
        if (ec) return FileResult::failure(at + ": " + ec.message());
        switch (archive_entry_filetype(entry)) {
            case AE_IFDIR: {
                struct stat st {};
                if (::lstat(at.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return refused(name);
                if (::mkdir(at.c_str(), 0755) != 0 && errno != EEXIST)
                    return FileResult::failure(at + ": " + std::strerror(errno));
                break;
            }
            case AE_IFREG:
                if (auto w = writeEntry(in.get(), at, mode | 0600); !w.ok) return w;
                break;
            case AE_IFLNK: {
                const char* target = archive_entry_symlink(entry);
                const std::string t = target ? target : "";
                if (!linkStaysInside(*clean, t))
                    return FileResult::failure("refused the link \"" + name + "\" to \"" + t + "\"");
                if (::symlink(t.c_str(), at.c_str()) != 0) return FileResult::failure(at + ": " + std::strerror(errno));
                break;
            }
            default:
                return refused(name);
        }
    }
    if (entries == 0) return FileResult::failure("The archive is empty.");
    return {};
}

void LinuxInstaller::unpack(const std::string& archive, const std::string& destination,
                            std::function<void(FileResult)> done) {
    std::weak_ptr<bool> alive = alive_;
    MainQueue* main = &main_;
    workers_.emplace_back([archive, destination, done = std::move(done), alive, main]() mutable {
        FileResult result = unpackNow(archive, destination);
        main->post([alive, done = std::move(done), result = std::move(result)] {
            if (alive.lock()) done(result);
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

LinuxBundle::LinuxBundle(std::string executable, std::string version, std::optional<long long> build,
                         std::optional<std::string> server) {
    std::error_code ec;
    if (executable.empty()) executable = fs::read_symlink("/proc/self/exe", ec).string();
    const fs::path exe = fs::weakly_canonical(executable, ec);
    info_.name = "Halvyn";
    info_.identifier = "com.halvyn.app";
    info_.version = version.empty() ? HALVYN_VERSION : version;
    info_.build = build ? build : std::optional<long long>(HALVYN_BUILD);
    info_.updateServer = server ? *server : HALVYN_UPDATE_URL;
    const fs::path bin = exe.parent_path();
    const fs::path prefix = bin.filename() == "bin" ? bin.parent_path() : bin;
    const std::string top = prefix.filename().string();
    // Only a folder of its own is replaced: never a shared prefix such as /usr or /opt.
    const bool shared = prefix == prefix.root_path() || top == "usr" || top == "local" || top == "opt" ||
                        (std::getenv("HOME") && prefix == fs::path(std::getenv("HOME")));
    if (!exe.empty() && !shared) info_.path = prefix.string();
    const std::string relative = fs::relative(exe, prefix, ec).string();
    info_.executables = {relative};
    info_.launchCommand = {exe.string()};
}

}  // namespace halvyn
