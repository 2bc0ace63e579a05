#include "settings/property_list.h"

#include <gtest/gtest.h>

namespace halvyn {
namespace {

std::string json(std::string_view text) {
    std::string error;
    auto v = parsePropertyList(text, &error);
    return v ? v->toJson() : "error: " + error.substr(0, error.find(" at byte"));
}

TEST(PropertyList, OldStyleText) {
    EXPECT_EQ(json(R"({ DisabledCalendars = { MainWindow = ( "calendar://A-1", B2 ); }; Count = 3; })"),
              R"({"DisabledCalendars":{"MainWindow":["calendar://A-1","B2"]},"Count":"3"})")
        << "old-style text has no numbers: a bare word is a string";
    EXPECT_EQ(json("/* c */ ( a, // line\n \"b c\", <48 6A>, (), {}, ) "), R"(["a","b c","Hj",[],{}])");
    EXPECT_EQ(json(R"("tab\tq\"\\ \101\U00e9\u00E9 \ud83c\udf89")"), "\"tab\\tq\\\"\\\\ A\u00e9\u00e9 \U0001F389\"");
    EXPECT_EQ(json("key = value; other = (1);"), R"({"key":"value","other":["1"]})") << "a bare top-level dictionary";
    EXPECT_EQ(json("{a=b;a=c;}"), R"({"a":"c"})") << "a repeated key keeps the last value";
    EXPECT_EQ(json("{a=1;b=2;a=3;}"), R"({"a":"3","b":"2"})") << "in the place of its first";
    EXPECT_EQ(json("<plist><dict><key>a</key><true/><key>b</key><false/><key>a</key><false/></dict></plist>"),
              R"({"a":false,"b":false})");

    for (const char* bad : {"", "{", "{a=b}", "{a;}", "(a b)", "\"open", "<0f", "<0g>", "<abc>", "/* open", "{(a)=b;}",
                            "a b", "\"\\U\"", "}"})
        EXPECT_FALSE(parsePropertyList(bad)) << bad;
}

TEST(PropertyList, Xml) {
    const char* doc = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment -->
<dict>
	<key>DisabledCalendars</key>
	<dict><key>MainWindow</key><array><string>calendar://A&amp;B</string><string/></array></dict>
	<key>n</key><integer>-42</integer><key>r</key><real>2.5</real>
	<key>t</key><true/><key>f</key><false/>
	<key>d</key><date>2026-03-02T09:00:00Z</date>
	<key>b</key><data>aGk=</data>
	<key>c</key><string><![CDATA[<x>]]>&#233;&#x1F389;</string>
	<key>e</key><dict/>
</dict>
</plist>)";
    EXPECT_EQ(json(doc),
              R"({"DisabledCalendars":{"MainWindow":["calendar://A&B",""]},"n":-42,"r":2.5,"t":true,"f":false,)"
              R"("d":"2026-03-02T09:00:00Z","b":"hi","c":"<x>é🎉","e":{}})");

    for (const char* bad : {"<plist><dict><key>a</key></dict></plist>", "<plist><string>x</plist>",
                            "<plist><integer>1.5</integer></plist>", "<plist><integer></integer></plist>",
                            "<plist><dict><string>a</string></dict></plist>", "<plist><array></dict></plist>",
                            "<plist><string>&bogus;</string></plist>", "<plist><unknown/></plist>",
                            "<plist><true/></plist>trailing", "<plist>", "<?xml version=\"1.0\"?>", "bplist00\x01"})
        EXPECT_FALSE(parsePropertyList(bad)) << bad;
}

TEST(PropertyList, NestingIsBounded) {
    const std::string deepText = std::string(100000, '(') + std::string(100000, ')');
    std::string error;
    EXPECT_FALSE(parsePropertyList(deepText, &error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);
    std::string deepXml = "<plist>";
    for (int i = 0; i < 5000; ++i) deepXml += "<array>";
    EXPECT_FALSE(parsePropertyList(deepXml, &error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);

    const std::string ok = std::string(kMaxPropertyListDepth, '(') + std::string(kMaxPropertyListDepth, ')');
    EXPECT_TRUE(parsePropertyList(ok));
}

}  // namespace
}  // namespace halvyn
