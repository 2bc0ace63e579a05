#include "sim/trace_writer.h"

#include <cstdio>
#include <ostream>

namespace halvyn {

std::string formatTraceTime(Uptime t) {
    // Three decimals, rounded to the nearest millisecond.
    const long long us = t.count();
    const long long ms = (us >= 0 ? us + 500 : us - 500) / 1000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%lld.%03lld", ms < 0 ? "-" : "", (ms < 0 ? -ms : ms) / 1000,
                  (ms < 0 ? -ms : ms) % 1000);
    return buf;
}

void TraceWriter::line(Uptime t, const Value::Object& fields) {
    buf_.clear();
    buf_ += "{\"t\":";
    buf_ += formatTraceTime(t);
    for (auto& [k, v] : fields) {
        buf_ += ',';
        appendQuoted(buf_, k);
        buf_ += ':';
        v.appendJson(buf_);
    }
    buf_ += "}\n";
    out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
}

}  // namespace halvyn
