#include "calendar/upcoming_event.h"

#include <gtest/gtest.h>

namespace halvyn {
namespace {

CalendarEvent event(std::optional<std::string> location, std::optional<std::string> url,
                    std::optional<std::string> notes) {
    CalendarEvent e;
    e.location = std::move(location);
    e.url = std::move(url);
    e.notes = std::move(notes);
    return e;
}

TEST(MeetingLinks, DetectorFindsLinksWithAndWithoutScheme) {
    EXPECT_EQ(detectLinks("See zoom.us/j/99?pwd=x, or (https://example.com/a_(b)). Mail me@zoom.us; www.example.org"),
              (std::vector<std::string>{"https://zoom.us/j/99?pwd=x", "https://example.com/a_(b)", "https://www.example.org"}));
    EXPECT_EQ(detectLinks("Link:facetime://user@example.com and e.g. Sprint.review at 3.30"),
              (std::vector<std::string>{"facetime://user@example.com"}));
    EXPECT_TRUE(detectLinks("https:// nothing, ://x, a.b, 1.2.3").empty());
}

TEST(MeetingLinks, FirstMatchingLinkInTextOrderAndRowOrder) {
    auto zoom = findMeetingLink(event("Room 4", std::nullopt, "Join https://us02web.zoom.us/j/123456?pwd=Ab1 now"));
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->first, "https://us02web.zoom.us/j/123456?pwd=Ab1");
    EXPECT_EQ(zoom->second, MeetingType::zoom);

    auto teams = findMeetingLink(event("https://example.com/office", std::nullopt,
                                       "teams.microsoft.com/l/meetup-join/abc"));
    ASSERT_TRUE(teams);
    EXPECT_EQ(teams->first, "https://teams.microsoft.com/l/meetup-join/abc") << "taken as secure";
    EXPECT_EQ(teams->second, MeetingType::teams);

    auto both = findMeetingLink(event(std::nullopt, "https://meet.google.com/abc?via=webex.com", std::nullopt));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->second, MeetingType::googleMeet) << "the host decides, not the query";

    EXPECT_FALSE(findMeetingLink(event(std::nullopt, std::nullopt, "https://zoom.us/my/room")));
    EXPECT_FALSE(findMeetingLink(event(std::nullopt, std::nullopt, std::nullopt)));
    auto ft = findMeetingLink(event(std::nullopt, std::nullopt, "https://facetime.apple.com/join#v=1&p=x"));
    ASSERT_TRUE(ft);
    EXPECT_EQ(ft->second, MeetingType::facetime);
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
         }) {
        EXPECT_FALSE(findMeetingLink(event(std::nullopt, std::nullopt, hostile))) << hostile;
    }
    // The first real meeting after hostile ones is the one offered, exactly as written.
    auto after = findMeetingLink(event("file:///tmp/zoom.us/j/1", "https://evil.example/meet.google.com/x",
                                       "smb://x/zoom.us/j/2 then HTTPS://EU01WEB.Zoom.US:443/w/77?tk=1"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->first, "HTTPS://EU01WEB.Zoom.US:443/w/77?tk=1");
    EXPECT_EQ(after->second, MeetingType::zoom);
    for (auto [link, type] : {std::pair{"https://acme.webex.com/meet/j", MeetingType::webex},
                              std::pair{"https://teams.microsoft.com", MeetingType::teams},
                              std::pair{"facetime://user@example.com", MeetingType::facetime}}) {
        auto found = findMeetingLink(event(std::nullopt, link, std::nullopt));
        ASSERT_TRUE(found) << link;
        EXPECT_EQ(found->second, type) << link;
    }
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
