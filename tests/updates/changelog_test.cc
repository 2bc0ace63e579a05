// The change-notes notation: sections by heading, notes by bullet.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updates/changelog.h"

namespace halvyn {
namespace {

Changelog parse(std::string_view text) {
    int n = 0;
    return parseChangelog(text, [&n] { return "id" + std::to_string(++n); });
}

TEST(Changelog, HeadingMarkersGiveSymbolColourAndTitle) {
    auto c = parse("## 📣 New\n- Faster start\n# ✨Polish\n###🐞 Fixes\n# ★ Other\n# 👍🏽 Thanks\n");
    std::vector<std::string> sections;
    for (auto& s : c) sections.push_back(s.symbol + "|" + s.color + "|" + s.title);
    // The space after the marker stays; a marker is one whole character, modifiers included.
    EXPECT_EQ(sections, (std::vector<std::string>{"megaphone.fill|TealColor| New", "sparkles|PinkColor|Polish",
                                                  "ladybug.fill|StoneColor| Fixes", "★|StoneColor| Other",
                                                  "👍🏽|StoneColor| Thanks"}));
    ASSERT_EQ(c[0].body.size(), 1u);
    EXPECT_EQ(c[0].body[0].text, "Faster start");
    EXPECT_EQ(c[0].body[0].id, "id1");
}

TEST(Changelog, EqualTitlesShareOneSectionInFirstOrder) {
    auto c = parse("# 📣 A\n- one\n# ✨ B\n- two\n# 🐞 A\n- three\n");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].title, " A");
    EXPECT_EQ(c[0].symbol, "megaphone.fill");  // the first heading's marker wins
    ASSERT_EQ(c[0].body.size(), 2u);
    EXPECT_EQ(c[0].body[1].text, "three");
    EXPECT_EQ(c[1].body.size(), 1u);
}

TEST(Changelog, EveryDashSpaceGoesButCompoundWordsStay) {
    auto c = parse("# 📣 New\n-  Less - memory, well-known -  \n- - -\n-no space\n");
    ASSERT_EQ(c[0].body.size(), 2u);
    EXPECT_EQ(c[0].body[0].text, "Less memory, well-known");
    EXPECT_EQ(c[0].body[1].text, "-");
}

TEST(Changelog, LineEndsIndentationAndStrayLines) {
    const auto lf = parse("# 📣 New\n- a\n\n- b\n");
    const auto crlf = parse("# 📣 New\r\n- a\r\n\r\n- b\r\n");
    EXPECT_EQ(lf, crlf);
    auto c = parse("- before any heading\n  # 📣 Indented\n # ✨ X\n# 📣 New\n  - indented\n\t- tab\ntext\n- kept");
    ASSERT_EQ(c.size(), 1u);
    ASSERT_EQ(c[0].body.size(), 1u);
    EXPECT_EQ(c[0].body[0].text, "kept");
    // An empty heading is skipped and does not end the current section.
    c = parse("# 📣 New\n###   \n- still here\n#\n- and here");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].body.size(), 2u);
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("\n\r\n").empty());
}

}  // namespace
}  // namespace halvyn
