// Release decoding, the version and build rules, and the names the server may give.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "updates/archive_entry.h"
#include "updates/release.h"

namespace halvyn {
namespace {

const char* kRelease = R"({"id": 7, "tag_name": "1.10", "name": "Halvyn 1.10", "body": "notes",
  "assets": [{"name": "Halvyn.zip", "url": "https://a/1", "browser_download_url": "https://b/1"}],
  "prerelease": false, "published_at": "2026-01-01T00:00:00Z", "extra": [1, 2]})";

TEST(Release, DecodesAllSevenKeysAndIgnoresOthers) {
    auto r = decodeRelease(kRelease);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 7);
    EXPECT_EQ(r->tagName, "1.10");
    EXPECT_EQ(r->body, "notes");
    ASSERT_EQ(r->assets.size(), 1u);
    EXPECT_EQ(r->assets[0].browserDownloadURL, "https://b/1");
    EXPECT_FALSE(r->buildNumber);
    // Encoding gives the same keys back.
    auto again = decodeRelease(encodeRelease(*r).toJson());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *r);
}

TEST(Release, AnyMissingOrMistypedKeyFailsTheWholeResponse) {
    const std::string base = kRelease;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = base;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    for (auto [from, to] : std::vector<std::pair<const char*, const char*>>{
             {R"("id": 7, )", ""}, {R"("tag_name": "1.10", )", ""}, {R"("name": "Halvyn 1.10", )", ""},
             {R"("body": "notes",)", ""}, {R"("prerelease": false, )", ""},
             {R"("published_at": "2026-01-01T00:00:00Z", )", ""},
             {R"("id": 7)", R"("id": "7")"}, {R"("id": 7)", R"("id": 7.5)"}, {R"("id": 7)", R"("id": 1e300)"},
             {R"("prerelease": false)", R"("prerelease": "false")"}, {R"("tag_name": "1.10")", R"("tag_name": 1.10)"},
             {R"("body": "notes")", R"("body": null)"}, {R"("url": "https://a/1", )", ""},
             {R"("url": "https://a/1")", R"("url": "")"}, {R"([{"name")", R"([7, {"name")"}})
        EXPECT_FALSE(decodeRelease(replaced(from, to))) << from << " -> " << to;
    {
        std::string s = replaced(R"("assets": [)", R"("assets": {"a": [)");
        s.replace(s.find("}]"), 2, "}]}");
        EXPECT_FALSE(decodeRelease(s));
    }
    EXPECT_FALSE(decodeRelease("[1, 2]"));
    EXPECT_FALSE(decodeRelease(""));
    EXPECT_FALSE(decodeRelease(base.substr(0, base.size() / 2)));
    EXPECT_FALSE(decodeRelease(std::string(100000, '[') + std::string(100000, ']')));
}

TEST(Release, VersionsCompareDigitRunsAsNumbers) {
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareVersions("1.9", "1.10"), 0);
    EXPECT_EQ(compareVersions("1.2", "1.2"), 0);
    EXPECT_EQ(compareVersions("1.02", "1.2"), 0);
    EXPECT_LT(compareVersions("1.2", "1.2.1"), 0);
    EXPECT_GT(compareVersions("2.0.0-beta", "2.0.0"), 0);
    EXPECT_GT(compareVersions("1." + std::string(40, '9'), "1." + std::string(39, '9')), 0);
    EXPECT_LT(compareVersions("", "0"), 0);
}

TEST(Release, PrereleaseNamesGiveVersionAndBuild) {
    auto match = [](std::string_view name) -> std::string {
        auto m = matchPrereleaseName(name);
        return m ? m->version + " (" + (m->build ? std::to_string(*m->build) : "-") + ")" : "none";
    };
    EXPECT_EQ(match("v2.0.0 (415)"), "2.0.0 (415)");
    EXPECT_EQ(match("Beta v1.2 (3) v9 (9)"), "1.2 (3)") << "leftmost \"v\", shortest version";
    EXPECT_EQ(match("dev v1 (x) v3 (4)"), " v1 (x) v3 (4)") << "from the \"v\" of \"dev\" to the first \" (digits)\"";
    EXPECT_EQ(match("v2.0.0 ()"), "none");
    EXPECT_EQ(match("2.0.0 (415)"), "none");
    EXPECT_EQ(match("v2.0\n (415)"), "none") << "\".\" does not cross a line end";
    EXPECT_EQ(match("v2 (99999999999999999999999)"), "2 (-)") << "not a build number that fits";
    // A hostile name is searched in linear time.
    EXPECT_EQ(match(std::string(2'000'000, 'v')), "none");
}

TEST(Release, EarlyBirdBuildRuleOnlyForMatchingPrereleases) {
    Release pre;
    pre.tagName = "2.0.0-beta";
    pre.name = "v2.0.0 (415)";
    pre.prerelease = true;
    EXPECT_TRUE(isNewer(pre, "2.0.0", 410, true));
    EXPECT_FALSE(isNewer(pre, "2.0.0", 410, false));
    EXPECT_FALSE(isNewer(pre, "2.0.0", 415, true));
    EXPECT_FALSE(isNewer(pre, "2.0.0", std::nullopt, true));
    EXPECT_TRUE(isNewer(pre, "1.9", 500, false));
    // Not matching: compared by its tag, no build.
    pre.name = "Nightly";
    EXPECT_EQ(candidateOf(pre).version, "2.0.0-beta");
    EXPECT_FALSE(candidateOf(pre).build);
    EXPECT_FALSE(isNewer(pre, "2.0.0-beta", 1, true));
    // A release that is not a prerelease never takes the build rule, whatever its name.
    Release full;
    full.tagName = "2.0.0";
    full.name = "v2.0.0 (999)";
    EXPECT_FALSE(isNewer(full, "2.0.0", 1, true));
    EXPECT_TRUE(isNewer(full, "1.9", 1, false));
}

TEST(Release, ServerNamesAreUsedOnlyAsPlainFileNames) {
    EXPECT_TRUE(isPlainFileName("Halvyn.zip"));
    EXPECT_TRUE(isPlainFileName("a..zip"));
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "../x", "a/b", "/etc/passwd", "a\\b", std::string("a\0b", 3),
                            std::string(256, 'a')})
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
}

TEST(Release, AssetSizeAndDigestAreOptionalButNeverMalformed) {
    const std::string base = kRelease;
    auto withAsset = [&](const std::string& extra) {
        std::string s = base;
        s.replace(s.find(R"("https://b/1")"), 13, R"("https://b/1")" + extra);
        return s;
    };
    const std::string hex(64, 'a');
    auto r = decodeRelease(withAsset(R"(, "size": 1234, "digest": "SHA256:)" + std::string(64, 'A') + "\""));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->assets[0].size, 1234u);
    EXPECT_EQ(r->assets[0].sha256, hex);  // kept in lower case
    EXPECT_EQ(*decodeRelease(encodeRelease(*r).toJson()), *r);
    r = decodeRelease(withAsset(R"(, "size": null, "digest": null)"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->assets[0].size);
    EXPECT_TRUE(r->assets[0].sha256.empty());
    EXPECT_EQ(decodeRelease(withAsset(R"(, "size": 9007199254740992)"))->assets[0].size, 9007199254740992u);
    for (const std::string& bad : std::vector<std::string>{R"(, "size": "12")", R"(, "size": -1)", R"(, "size": 1.5)", R"(, "size": 1e300)", R"(, "size": true)",
          R"(, "size": 9007199254740994)", R"(, "digest": 7)", R"(, "digest": ")" + hex + "\"",
          R"(, "digest": "sha512:)" + hex + "\"", R"(, "digest": "sha256:)" + hex.substr(1) + "\"",
          R"(, "digest": "sha256:)" + hex + "a\"", R"(, "digest": "sha256:)" + hex.substr(1) + "g\"",
          R"(, "digest": "sha256: )" + hex.substr(1) + "\""})
        EXPECT_FALSE(decodeRelease(withAsset(bad))) << bad;
}

TEST(Release, UpdateAddressesAreHttpsOrThisMachine) {
    for (const char* good : {"https://updates.halvyn.app/", "HTTPS://u.example:8443/x?y", "http://127.0.0.1:8080/",
                             "http://127.255.0.9/", "http://localhost/", "http://LOCALHOST:1/", "http://[::1]:9/"})
        EXPECT_TRUE(isSecureUpdateURL(good)) << good;
    for (const char* bad : {"http://updates.halvyn.app/", "http://128.0.0.1/", "http://127.0.0.1.evil.example/",
                            "http://127.0.0.1@evil.example/", "https://user@u.example/", "http://127.1/",
                            "http://[::2]/", "file:///etc/passwd", "data:,x", "ftp://u/", "https:///x", "https://",
                            "https://u.example/ x", "http://localhost\\@evil/", "", "localhost",
                            "http://127.0.0.256/", "http://localhost.evil.example/"})
        EXPECT_FALSE(isSecureUpdateURL(bad)) << bad;
}

TEST(Release, SignaturesAreTheirBytesOrHexOrBase64Text) {
    const std::string raw(64, '\x5a');
    EXPECT_EQ(decodeSignature(raw), raw);
    EXPECT_EQ(decodeSignature(std::string(128, '5').replace(1, 1, "A") + "\n"), [] {
        std::string s(64, '\x55');
        s[0] = '\x5a';
        return s;
    }());
    EXPECT_EQ(decodeSignature("  WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWg==\r\n"), raw);
    for (const std::string& bad : std::vector<std::string>{std::string(), std::string(63, 'x'), std::string(126, '5'), std::string(86, 'W') + "=",
                                   std::string(86, '!') + "==", std::string(130, '5')})
        EXPECT_FALSE(decodeSignature(bad)) << bad;
}

TEST(ArchiveEntry, EntriesAndLinksStayInsideTheTopFolder) {
    EXPECT_EQ(safeEntryPath("Halvyn.app/./Contents//MacOS/"), "Halvyn.app/Contents/MacOS");
    for (const char* bad : {"", "/", "/etc/passwd", "../x", "a/../../x", "a/..", ".", "./"})
        EXPECT_FALSE(safeEntryPath(bad)) << bad;
    EXPECT_TRUE(linkStaysInside("A.app/Contents/lib/l", "../Frameworks/x"));
    EXPECT_TRUE(linkStaysInside("A.app/l", "."));
    // The top folder is renamed when installed: a link to it, or through it, leads outside.
    EXPECT_FALSE(linkStaysInside("A.app/l", ".."));
    EXPECT_FALSE(linkStaysInside("A.app/lib/l", "../../A.app/bin"));
    EXPECT_FALSE(linkStaysInside("A.app/l", "../.."));
    EXPECT_FALSE(linkStaysInside("l", "."));
    EXPECT_FALSE(linkStaysInside("A.app/l", "/etc"));
    EXPECT_FALSE(linkStaysInside("A.app/l", ""));
    // A ".." after a name climbs from wherever that name (maybe a link to ".") leads.
    EXPECT_FALSE(linkStaysInside("A.app/B/l", "y/../x"));
}

TEST(ArchiveEntry, OneFolderNamedAfterTheApplicationAndNothingBesideIt) {
    UnpackRules rules;
    rules.topFolder = "Halvyn.app";
    auto admit = [&](std::vector<std::pair<std::string, EntryKind>> entries) {
        ArchiveEntryCheck check(rules, UINT64_MAX);
        for (auto& [name, kind] : entries)
            if (auto v = check.admit(name, kind, ".", 1); !v.ok()) return v.refusal;
        return check.finish();
    };
    EXPECT_EQ(admit({{"Halvyn.app", EntryKind::directory}, {"Halvyn.app/bin/halvyn", EntryKind::file}}), "");
    EXPECT_EQ(admit({{"./Halvyn.app/bin/halvyn", EntryKind::file}}), "");
    const std::string beside = "\": the archive must hold the folder \"Halvyn.app\" and nothing beside it";
    EXPECT_EQ(admit({{"Halvyn.app/x", EntryKind::file}, {"B.app/x", EntryKind::file}}), "refused the archive entry \"B.app/x" + beside);
    EXPECT_EQ(admit({{"Evil.app", EntryKind::directory}}), "refused the archive entry \"Evil.app" + beside);
    EXPECT_EQ(admit({{"Halvyn.app/x", EntryKind::file}, {"README", EntryKind::file}}), "refused the archive entry \"README" + beside);
    EXPECT_EQ(admit({{"Halvyn.app", EntryKind::file}}), "refused the archive entry \"Halvyn.app" + beside);
    EXPECT_EQ(admit({{"Halvyn.app", EntryKind::link}}), "refused the archive entry \"Halvyn.app" + beside);
    EXPECT_EQ(admit({{"Halvyn.app/fifo", EntryKind::other}}), "refused the archive entry \"Halvyn.app/fifo\"");
    EXPECT_EQ(admit({}), "The archive is empty.");
    // A newline in a name would forge a line of the log.
    EXPECT_EQ(admit({{"Halvyn.app/a\nError updating: done", EntryKind::file}}),
              "refused the archive entry \"Halvyn.app/a\\x0AError updating: done\": its name holds a control character");
    ArchiveEntryCheck check(rules, UINT64_MAX);
    EXPECT_EQ(check.admit("Halvyn.app/up", EntryKind::link, "..", {}).refusal, "refused the link \"Halvyn.app/up\" to \"..\"");
    EXPECT_EQ(check.admit("Halvyn.app/l", EntryKind::link, "a\tb", {}).refusal,
              "refused the link \"Halvyn.app/l\" to \"a\\x09b\"");
}

TEST(ArchiveEntry, EntriesBytesAndFreeSpaceAreBounded) {
    UnpackRules rules;
    rules.topFolder = "A.app";
    rules.maxEntries = 3;
    rules.maxBytes = 3 << 20;
    ArchiveEntryCheck count(rules, UINT64_MAX);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(count.admit("A.app/" + std::to_string(i), EntryKind::file, "", 0).ok());
    EXPECT_EQ(count.admit("A.app/3", EntryKind::file, "", 0).refusal, "The archive holds more than 3 entries.");

    // Declared sizes are refused before anything is written; what is written counts as well.
    ArchiveEntryCheck declared(rules, UINT64_MAX);
    EXPECT_TRUE(declared.admit("A.app/a", EntryKind::file, "", 3 << 20).ok());
    EXPECT_EQ(declared.admit("A.app/b", EntryKind::file, "", 1).refusal, "The archive unpacks to more than 3 MiB.");
    ArchiveEntryCheck written(rules, UINT64_MAX);
    EXPECT_EQ(written.spend(3 << 20), "");
    EXPECT_EQ(written.spend(1), "The archive unpacks to more than 3 MiB.");
    ArchiveEntryCheck room(rules, 1 << 20);
    EXPECT_TRUE(room.admit("A.app/a", EntryKind::file, "", 1 << 20).ok());
    EXPECT_EQ(room.admit("A.app/b", EntryKind::file, "", 1).refusal,
              "Not enough free space: the new version needs 2 MiB, 1 MiB are free.");
}

}  // namespace
}  // namespace halvyn
