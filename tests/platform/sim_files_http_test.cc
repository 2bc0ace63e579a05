#include <gtest/gtest.h>

#include "platform/sim/effect_log.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_http.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

TEST(SimFileSystem, RenameMovesATreeAndWatchesFireOnALaterTurn) {
    VirtualTime vt;
    SimFileSystem fs(vt);
    fs.put("/a/app/bin/run", "v1", true);
    int fired = 0;
    auto watch = fs.watch("/b/app/bin/run", [&] { ++fired; });
    ASSERT_TRUE(fs.createDirectories("/b").ok);
    ASSERT_TRUE(fs.rename("/a/app", "/b/app").ok);
    EXPECT_EQ(fired, 0);
    vt.runCurrent();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(fs.readFile("/b/app/bin/run", 100).value_or(""), "v1");
    EXPECT_TRUE(fs.isExecutable("/b/app/bin/run"));
    EXPECT_FALSE(fs.exists("/a/app/bin"));
    EXPECT_EQ(fs.list("/b/app"), std::vector<std::string>{"bin"});

    std::string error;
    EXPECT_FALSE(fs.readFile("/b/app/bin/run", 1, &error).has_value());
    EXPECT_EQ(error, "file too large");
    EXPECT_FALSE(fs.readFile("/b/app", 100, &error).has_value());
    EXPECT_EQ(error, "not a regular file");

    watch.reset();
    fs.put("/b/app/bin/run", "v2");
    vt.runCurrent();
    EXPECT_EQ(fired, 1);

    fs.failWrites("/b", "Permission denied");
    EXPECT_EQ(fs.writeFile("/b/x", "y").error, "Permission denied");
    EXPECT_FALSE(fs.writeFile("/missing/x", "y").ok);
}

TEST(SimHttp, LongestPrefixAnswersLaterSilentServerTimesOutDownloadWritesFile) {
    VirtualTime vt;
    EffectLog effects;
    SimFileSystem fs(vt);
    SimHttp http(vt, &effects, &fs);
    http.setServer("https://u.example/", [](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{200, {}, "root", {}});
    });
    http.setServer("https://u.example/slow", [](const HttpRequest&) { return std::optional<HttpResponse>(); });

    std::vector<HttpResponse> got;
    auto keep = [&](HttpResponse r) { got.push_back(std::move(r)); };
    http.send({"GET", "https://u.example/", {{"X-Download", "1"}}}, keep);
    HttpRequest slow{"GET", "https://u.example/slow"};
    slow.timeout = seconds(5);
    http.send(slow, keep);
    http.send({"GET", "https://other.example/"}, keep);
    fs.createDirectories("/tmp");
    http.download({"GET", "https://u.example/a.zip"}, "/tmp/a.zip", keep);
    EXPECT_TRUE(got.empty());
    vt.runCurrent();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].body, "root");
    EXPECT_FALSE(got[1].ok());
    EXPECT_TRUE(got[2].ok());
    EXPECT_TRUE(got[2].body.empty());
    EXPECT_EQ(fs.readFile("/tmp/a.zip", 100).value_or(""), "root");
    vt.advance(seconds(5));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[3].error, "The request timed out.");

    auto requests = effects.ofKind("http");
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(Value(requests[0].fields).toJson(),
              R"({"method":"GET","url":"https://u.example/","headers":{"X-Download":"1"}})");
}

}  // namespace
}  // namespace halvyn
