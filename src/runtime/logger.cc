#include "runtime/logger.h"

#include <cstdio>
#include <string>

namespace halvyn {

const char* levelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::error: return "error";
    }
    return "info";
}

void StderrLogSink::write(LogLevel level, std::string_view, std::string_view category, std::string_view message) {
    std::string line;
    line.reserve(category.size() + message.size() + 16);
    line += '[';
    line += category;
    line += "] ";
    line += levelName(level);
    line += ": ";
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void CaptureLogSink::write(LogLevel level, std::string_view, std::string_view category, std::string_view message) {
    lines.push_back({level, std::string(category), std::string(message)});
}

bool CaptureLogSink::contains(std::string_view message) const {
    for (auto& l : lines)
        if (l.message == message) return true;
    return false;
}

namespace {

// Formats one conversion with the C library, on values whose type we control.
template <class T>
void emit(std::string& out, const std::string& spec, T v) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, spec.c_str(), v);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<std::size_t>(n));
    } else {
        std::string big(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), spec.c_str(), v);
        big.resize(static_cast<std::size_t>(n));
        out += big;
    }
}

std::string argText(const LogArg& a) {
    switch (a.kind) {
        case LogArg::Kind::text: return std::string(a.s);
        case LogArg::Kind::integer: return std::to_string(a.i);
        case LogArg::Kind::unsignedInteger: return std::to_string(a.u);
        case LogArg::Kind::real: {
            std::string s;
            emit(s, "%f", a.d);
            return s;
        }
    }
    return {};
}

}  // namespace

std::string formatLog(std::string_view fmt, const LogArg* args, std::size_t count) {
    std::string out;
    out.reserve(fmt.size() + 16);
    std::size_t next = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        // os_log privacy markers: "%{public}s", "%{private}d" ...
        if (j < fmt.size() && fmt[j] == '{') {
            const auto close = fmt.find('}', j);
            if (close == std::string_view::npos) {
                out += fmt.substr(i);
                break;
            }
            j = close + 1;
        }
        std::string spec = "%";
        while (j < fmt.size() && std::string_view("-+ #0").find(fmt[j]) != std::string_view::npos) spec += fmt[j++];
        while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') spec += fmt[j++];
        if (j < fmt.size() && fmt[j] == '.') {
            spec += fmt[j++];
            while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') spec += fmt[j++];
        }
        while (j < fmt.size() && std::string_view("hlLqjzt").find(fmt[j]) != std::string_view::npos) ++j;
        if (j >= fmt.size()) {
            out += fmt.substr(i);
            break;
        }
        const char conv = fmt[j];
        i = j;
        if (next >= count) {
            // A conversion without an argument prints as written instead of reading garbage.
            out += "(missing)";
            continue;
        }
        const LogArg& a = args[next++];
        switch (conv) {
            case 'd':
            case 'i':
                if (a.kind == LogArg::Kind::text) out += a.s;
                else emit(out, spec + "lld", a.kind == LogArg::Kind::real ? static_cast<long long>(a.d)
                                         : a.kind == LogArg::Kind::unsignedInteger ? static_cast<long long>(a.u)
                                                                                   : static_cast<long long>(a.i));
                break;
            case 'u':
            case 'x':
            case 'X':
                if (a.kind == LogArg::Kind::text) out += a.s;
                else emit(out, spec + "ll" + conv, a.kind == LogArg::Kind::unsignedInteger ? static_cast<unsigned long long>(a.u)
                                                  : a.kind == LogArg::Kind::real ? static_cast<unsigned long long>(a.d)
                                                                                 : static_cast<unsigned long long>(a.i));
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'g':
                if (a.kind == LogArg::Kind::text) out += a.s;
                else emit(out, spec + conv, a.kind == LogArg::Kind::real ? a.d
                                            : a.kind == LogArg::Kind::unsignedInteger ? static_cast<double>(a.u)
                                                                                      : static_cast<double>(a.i));
                break;
            case 'c':
                if (a.kind == LogArg::Kind::integer) out += static_cast<char>(a.i);
                else out += argText(a);
                break;
            case 's':
            case '@':
            default:
                if (spec.size() > 1) emit(out, spec + "s", argText(a).c_str());
                else out += argText(a);
                break;
        }
    }
    return out;
}

}  // namespace halvyn
