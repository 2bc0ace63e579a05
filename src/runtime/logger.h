#pragma once
// Logging with printf-style formats. A format written with "%{public}s" (os_log syntax) logs the
// formatted message without the markers. Arguments are typed, so a format that does not match
// its arguments prints something sensible instead of reading garbage.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace halvyn {

enum class LogLevel { debug, info, error };
const char* levelName(LogLevel level);

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, std::string_view subsystem, std::string_view category,
                       std::string_view message) = 0;
};

// Writes "[category] level: message" lines to standard error.
class StderrLogSink final : public LogSink {
public:
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;
};

// Keeps every line; for tests.
class CaptureLogSink final : public LogSink {
public:
    struct Line {
        LogLevel level;
        std::string category;
        std::string message;
    };
    void write(LogLevel level, std::string_view subsystem, std::string_view category,
               std::string_view message) override;
    std::vector<Line> lines;
    bool contains(std::string_view message) const;
};

// One formatting argument.
struct LogArg {
    enum class Kind { integer, unsignedInteger, real, text } kind;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    std::string_view s;

    template <class T>
    static LogArg from(const T& v) {
        if constexpr (std::is_same_v<T, bool>) {
            return {Kind::integer, v ? 1 : 0};
        } else if constexpr (std::is_enum_v<T>) {
            return {Kind::integer, static_cast<std::int64_t>(v)};
        } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            return {Kind::integer, static_cast<std::int64_t>(v)};
        } else if constexpr (std::is_integral_v<T>) {
            return {Kind::unsignedInteger, 0, static_cast<std::uint64_t>(v)};
        } else if constexpr (std::is_floating_point_v<T>) {
            return {Kind::real, 0, 0, static_cast<double>(v)};
        } else {
            return {Kind::text, 0, 0, 0, std::string_view(v)};
        }
    }
};

// printf-style formatting over typed arguments: flags, width, precision and the conversions
// d i u x X f F e g c s @ and %%; length modifiers are accepted and ignored.
std::string formatLog(std::string_view format, const LogArg* args, std::size_t count);

template <class... A>
std::string format(std::string_view fmt, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return formatLog(fmt, nullptr, 0);
    } else {
        const LogArg list[] = {LogArg::from(args)...};
        return formatLog(fmt, list, sizeof...(A));
    }
}

class Logger {
public:
    Logger(LogSink* sink, std::string subsystem, std::string category)
        : sink_(sink), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

    template <class... A>
    void debug(std::string_view fmt, const A&... args) const {
        log(LogLevel::debug, format(fmt, args...));
    }
    template <class... A>
    void info(std::string_view fmt, const A&... args) const {
        log(LogLevel::info, format(fmt, args...));
    }
    template <class... A>
    void error(std::string_view fmt, const A&... args) const {
        log(LogLevel::error, format(fmt, args...));
    }
    void log(LogLevel level, std::string_view message) const {
        if (sink_) sink_->write(level, subsystem_, category_, message);
    }
    const std::string& category() const { return category_; }

private:
    LogSink* sink_;
    std::string subsystem_;
    std::string category_;
};

}  // namespace halvyn
