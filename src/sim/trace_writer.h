#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "runtime/time.h"
#include "runtime/value.h"

namespace halvyn {

// Writes trace lines: {"t":1.250, ...fields}.
class TraceWriter {
public:
    explicit TraceWriter(std::ostream& out) : out_(out) {}
    void line(Uptime t, const Value::Object& fields);

private:
    std::ostream& out_;
    std::string buf_;
};

std::string formatTraceTime(Uptime t);

}  // namespace halvyn
