// An event's location, URL field and notes: any text yields its links in bounded work, and a
// meeting link found in it is only ever a secure link on a service's own host or FaceTime's own
// scheme (never a file, share or plain web address).
//
// Input: the three texts, separated by NUL bytes (missing ones are absent).

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calendar/upcoming_event.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1 << 16)) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    halvyn::CalendarEvent event;
    for (auto* field : {&event.location, &event.url, &event.notes}) {
        if (rest.empty()) break;
        const auto end = rest.find('\0');
        *field = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    const auto found = halvyn::findMeetingLink(event);
    if (!found) return 0;
    std::string scheme = found->first.substr(0, found->first.find("://"));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme != "https" && scheme != "facetime") std::abort();
    return 0;
}
