#pragma once
// The running system's version.

#include <cstddef>
#include <string>

namespace halvyn {

struct SystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;

    // "15.1" or "26.0.1"; parts that are missing or not numbers read as 0.
    static SystemVersion parse(const std::string& text) {
        SystemVersion v;
        int* parts[] = {&v.major, &v.minor, &v.patch};
        std::size_t part = 0;
        long n = 0;
        bool digits = false;
        for (std::size_t i = 0; i <= text.size() && part < 3; ++i) {
            const char c = i < text.size() ? text[i] : '.';
            if (c >= '0' && c <= '9') {
                if (n < 100000) n = n * 10 + (c - '0');
                digits = true;
            } else if (c == '.') {
                *parts[part++] = digits ? static_cast<int>(n) : 0;
                n = 0;
                digits = false;
            } else {
                // Anything else ends the version: "15.1 beta" reads as 15.1.
                *parts[part] = digits ? static_cast<int>(n) : 0;
                break;
            }
        }
        return v;
    }
    friend auto operator<=>(const SystemVersion&, const SystemVersion&) = default;
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual SystemVersion version() const = 0;
};

}  // namespace halvyn
