#include "calendar/upcoming_event.h"

#include <gtest/gtest.h>

namespace halvyn {
namespace {

// The meeting an event with these rows offers: "type link", or "none".
std::string meeting(std::optional<std::string> location, std::optional<std::string> url,
                    std::optional<std::string> notes) {
    CalendarEvent e;
    e.location = std::move(location);
    e.url = std::move(url);
    e.notes = std::move(notes);
    const auto found = findMeetingLink(e);
    return found ? std::string(caseName(found->second)) + " " + found->first : "none";
}
std::string inNotes(const char* notes) { return meeting(std::nullopt, std::nullopt, notes); }

TEST(MeetingLinks, DetectorFindsLinksWithAndWithoutScheme) {
    EXPECT_EQ(detectLinks("See zoom.us/j/99?pwd=x, or (https://example.com/a_(b)). Mail me@zoom.us; www.example.org"),
              (std::vector<std::string>{"https://zoom.us/j/99?pwd=x", "https://example.com/a_(b)", "https://www.example.org"}));
    EXPECT_EQ(detectLinks("Link:facetime://user@example.com and e.g. Sprint.review at 3.30"),
              (std::vector<std::string>{"facetime://user@example.com"}));
    EXPECT_TRUE(detectLinks("https:// nothing, ://x, a.b, 1.2.3").empty());
}

TEST(MeetingLinks, FirstMatchingLinkInTextOrderAndRowOrder) {
    EXPECT_EQ(meeting("Room 4", std::nullopt, "Join https://us02web.zoom.us/j/123456?pwd=Ab1 now"),
              "zoom https://us02web.zoom.us/j/123456?pwd=Ab1");
    EXPECT_EQ(meeting("https://example.com/office", std::nullopt, "teams.microsoft.com/l/meetup-join/abc"),
              "teams https://teams.microsoft.com/l/meetup-join/abc")
        << "taken as secure";
    EXPECT_EQ(meeting(std::nullopt, "https://meet.google.com/abc?via=webex.com", std::nullopt),
              "googleMeet https://meet.google.com/abc?via=webex.com")
        << "the host decides, not the query";
    EXPECT_EQ(inNotes("https://facetime.apple.com/join#v=1&p=x"), "facetime https://facetime.apple.com/join#v=1&p=x");
    EXPECT_EQ(meeting(std::nullopt, "https://acme.webex.com/meet/j", std::nullopt), "webex https://acme.webex.com/meet/j");
    EXPECT_EQ(meeting(std::nullopt, "https://teams.microsoft.com", std::nullopt), "teams https://teams.microsoft.com");
    EXPECT_EQ(meeting(std::nullopt, "facetime://user@example.com", std::nullopt), "facetime facetime://user@example.com");
    EXPECT_EQ(meeting(std::nullopt, std::nullopt, std::nullopt), "none");
}

// Calendar text is anyone's: a service's name in a path, a user name or a longer host, another
// scheme, or a host written in a way a browser would read otherwise, is never a meeting link.
TEST(MeetingLinks, OnlyASecureLinkOnTheServicesOwnHostIsAMeeting) {
    for (const char* hostile : {
             "file:///home/u/Downloads/zoom.us/j/run.desktop",
             "smb://attacker.example/share/zoom.us/j/1",
             "https://evil.example/zoom.us/j/123",
             "https://zoom.us.evil.example/j/1",
             "https://evilzoom.us/j/1",
             "https://zoom.us@evil.example/j/1",
             "https://evil.example\\@zoom.us/j/1",
             "https://zoom%2eus/j/1",
             "https://a..zoom.us/j/1",
             "https://zoom.us:x/j/1",
             "http://zoom.us/j/1",
             "HTTPS-x://zoom.us/j/1",
             "ftp://meet.google.com/abc",
             "javascript://meet.google.com/%0aalert(1)",
             "https://example.com/?u=https://teams.microsoft.com/l/1",
             "https://facetime.apple.com/call",
             "https://zoom.us/my/room",
         })
        EXPECT_EQ(inNotes(hostile), "none") << hostile;
    // The first real meeting after hostile ones is the one offered, exactly as written.
    EXPECT_EQ(meeting("file:///tmp/zoom.us/j/1", "https://evil.example/meet.google.com/x",
                      "smb://x/zoom.us/j/2 then HTTPS://EU01WEB.Zoom.US:443/w/77?tk=1"),
              "zoom HTTPS://EU01WEB.Zoom.US:443/w/77?tk=1");
}

TEST(DisplayTitle, DropsEmojiKeepsNumbersAndCutsByCharacter) {
    EXPECT_EQ(displayTitle("🎉 Team sync"), "Team sync");
    EXPECT_EQ(displayTitle("Sprint #12 review"), "Sprint 12 review");
    EXPECT_EQ(displayTitle("Quarterly planning meeting"), "Quarterly planning...");
    EXPECT_EQ(displayTitle("Exactly eighteen c"), "Exactly eighteen c");
    EXPECT_EQ(displayTitle("Exactly nineteen ch"), "Exactly nineteen c...");
    EXPECT_EQ(displayTitle("  \n👩‍👩‍👧 Family 1️⃣ ☕\t"), "Family 1️⃣") << "a keycap starts with a number";
    EXPECT_EQ(displayTitle("Café résumé über ñandú"), "Café résumé über ñ...") << "accents are one character";
    EXPECT_EQ(displayTitle("e\xCC\x81\xCC\x81\xCC\x81 x"), "e\xCC\x81\xCC\x81\xCC\x81 x");
    EXPECT_EQ(displayTitle("\xFF\xFEok"), "\xEF\xBF\xBD\xEF\xBF\xBDok") << "malformed bytes become U+FFFD";
    EXPECT_EQ(displayTitle("🎉🎉"), "");
}

}  // namespace
}  // namespace halvyn
