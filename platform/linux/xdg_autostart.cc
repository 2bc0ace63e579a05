#include "platform/linux/xdg_autostart.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace halvyn {

namespace fs = std::filesystem;

std::optional<fs::path> xdgConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg);
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".config";
    return std::nullopt;
}

std::string desktopExecArgument(std::string_view argument) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string_view::npos;
    // First the Exec key's own quoting, then the escapes of a string value in the file.
    std::string exec;
    if (quote) exec += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) exec += '\\';
        if (c == '%') exec += '%';
        exec += c;
    }
    if (quote) exec += '"';
    std::string out;
    for (char c : exec) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

XdgAutostart::XdgAutostart(std::optional<fs::path> folder, std::string appId, std::string name, std::string program)
    : folder_(std::move(folder)), appId_(std::move(appId)), name_(std::move(name)), program_(std::move(program)) {}

fs::path XdgAutostart::entryPath() const { return folder_ ? *folder_ / (appId_ + ".desktop") : fs::path(); }

std::string XdgAutostart::entryText() const {
    std::ostringstream s;
    s << "[Desktop Entry]\n"
      << "Type=Application\n"
      << "Name=" << name_ << "\n"
      << "Comment=Starts " << name_ << " when you log in\n"
      << "Exec=" << desktopExecArgument(program_) << "\n"
      << "Icon=" << appId_ << "\n"
      << "Terminal=false\n"
      << "StartupNotify=false\n"
      << "X-GNOME-Autostart-enabled=true\n";
    return s.str();
}

namespace {

bool fail(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
    return false;
}

std::string errnoText(const fs::path& path) { return path.string() + ": " + std::strerror(errno); }

}  // namespace

bool XdgAutostart::setRegistered(bool registered, std::string* error) {
    if (!folder_) return fail(error, "No home folder to keep the autostart entry in");
    const fs::path entry = entryPath();
    if (!registered) {
        if (::unlink(entry.c_str()) != 0 && errno != ENOENT) return fail(error, errnoText(entry));
        return true;
    }
    std::error_code ec;
    fs::create_directories(*folder_, ec);
    if (ec) return fail(error, folder_->string() + ": " + ec.message());
    // Written beside the entry and renamed over it: the session never reads half an entry.
    const fs::path temporary = *folder_ / ("." + appId_ + ".desktop.tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return fail(error, errnoText(temporary));
    const std::string text = entryText();
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = errnoText(temporary);
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(error, reason);
        }
        written += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    std::string reason = synced ? std::string() : errnoText(temporary);
    if (::close(fd) != 0 && synced) reason = errnoText(temporary);
    if (!reason.empty()) {
        ::unlink(temporary.c_str());
        return fail(error, reason);
    }
    if (::rename(temporary.c_str(), entry.c_str()) != 0) {
        const std::string reason = errnoText(entry);
        ::unlink(temporary.c_str());
        return fail(error, reason);
    }
    return true;
}

bool XdgAutostart::isRegistered() const {
    if (!folder_) return false;
    std::ifstream in(entryPath());
    if (!in) return false;
    std::string line;
    bool exec = false;
    while (std::getline(in, line)) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
        if (line.rfind("Exec=", 0) == 0) exec = true;
    }
    return exec;
}

}  // namespace halvyn
