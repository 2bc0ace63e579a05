#pragma once
// The one calendar event the notch shows, the online-meeting services it recognises, the search
// for an event's meeting link and the title shortened for the narrow notch.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/location.h"
#include "runtime/case_names.h"
#include "runtime/time.h"
#include "runtime/value.h"

namespace halvyn {

enum class MeetingType { facetime, zoom, googleMeet, teams, webex };
// Traced by case name; titled with the label shown to the user ("Google Meet").
template <>
struct OptionTraits<MeetingType> {
    static constexpr OptionCase<MeetingType> cases[] = {
        {MeetingType::facetime, "facetime", "FaceTime"},
        {MeetingType::zoom, "zoom", "Zoom"},
        {MeetingType::googleMeet, "googleMeet", "Google Meet"},
        {MeetingType::teams, "teams", "Microsoft Teams"},
        {MeetingType::webex, "webex", "Webex"},
    };
};

struct UpcomingEvent {
    std::string id;
    std::string title;
    WallTime startDate;
    WallTime endDate;
    std::string color;  // the calendar's colour, "#RRGGBB"
    std::optional<std::string> url;
    std::optional<MeetingType> meetingType;
    std::optional<GeoCoordinate> location;

    std::string displayTitle() const;
    friend bool operator==(const UpcomingEvent&, const UpcomingEvent&) = default;
};
Value toValue(const UpcomingEvent& e);

// The URLs a person would call links in free text, in order: with a scheme ("https://…",
// "facetime://…") as written, and without one (a host such as "zoom.us/j/1" or "www.example.com")
// with "https://" put in front.
std::vector<std::string> detectLinks(std::string_view text);

// The first link of the event's location, URL and notes (in that order) that belongs to a
// meeting service, with the service: a secure web link on the service's own host or one of its
// subdomains, or FaceTime's own scheme. Nothing else found in calendar text is ever offered.
std::optional<std::pair<std::string, MeetingType>> findMeetingLink(const CalendarEvent& event);

// Emoji dropped (numbers kept), white space trimmed, and cut to 18 characters plus "..." when it
// has 19 or more; characters are grapheme clusters.
std::string displayTitle(std::string_view title);

}  // namespace halvyn
