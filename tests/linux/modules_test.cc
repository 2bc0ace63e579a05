// The ports whose adapters live in modules, when the module is missing: each is absent in the
// way its port fails, logged once, and none blocks or crashes. (The modules themselves are
// opened for real by the update, release-notes and calendar tests.)

#include <gtest/gtest.h>

#include <optional>

#include "platform/linux/module_ports.h"
#include "platform/linux/modules.h"
#include "platform/linux/posix_file_system.h"
#include "runtime/logger.h"
#include "runtime/virtual_time.h"

namespace halvyn {
namespace {

TEST(MissingModule, EveryPortFailsAsItsPortDoesAndSaysWhyOnce) {
    CaptureLogSink logs;
    VirtualTime time;
    Module gone("halvyn-sounds", "/nonexistent/lib/halvyn", Logger(&logs, "com.halvyn.app", "Modules"));

    // Sounds are still found and registered; playing one does nothing.
    ModuleSounds sounds(gone, {std::string(HALVYN_SOURCE_DIR) + "/resources/sounds"},
                        Logger(&logs, "com.halvyn.app", "Sounds"));
    const auto path = sounds.resourcePath("lock", "caf");
    ASSERT_TRUE(path);
    const auto id = sounds.createSystemSound(*path);
    ASSERT_TRUE(id);
    sounds.playSystemSound(*id);
    std::string error;
    EXPECT_EQ(sounds.makePlayer(*path, error), nullptr);
    EXPECT_NE(error.find("halvyn-sounds.so missing"), std::string::npos) << error;

    // A request fails on a later turn, never within the call.
    ModuleHttp http(gone, time);
    std::optional<HttpResponse> response;
    http.send({}, [&](HttpResponse r) { response = std::move(r); });
    EXPECT_FALSE(response);
    time.runUntilIdle();
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->ok());
    EXPECT_EQ(response->status, 0);

    // No update passes unverified: a key counts as required, and nothing is examined.
    ModuleVerifier verifier(gone, time);
    EXPECT_TRUE(verifier.hasUpdateKey());
    std::optional<ArchiveFacts> facts;
    verifier.examine("/bin/sh", "", [&](ArchiveFacts f) { facts = std::move(f); });
    time.runUntilIdle();
    ASSERT_TRUE(facts);
    EXPECT_FALSE(facts->error.empty());
    EXPECT_FALSE(facts->signatureValid);

    // Queries wait for the start, then come back empty.
    PosixFileSystem files;
    ModuleCalendarStore calendars(gone, files, time, time.background(), Logger(&logs, "com.halvyn.app", "Calendar"), "/");
    std::optional<CalendarAnswer> answer;
    calendars.fetch({}, [&](CalendarAnswer a) { answer = std::move(a); });
    time.runUntilIdle();
    EXPECT_FALSE(answer);
    calendars.start();
    time.runUntilIdle();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->events.empty());
    EXPECT_TRUE(calendars.calendars().empty());

    // Release notes show as their text, nothing of it taken as markup.
    EXPECT_EQ(releaseNotesHtml(gone, "a <b>&\"\nc"), "<p>a &lt;b&gt;&amp;&quot;<br>c</p>");

    std::size_t said = 0;
    for (auto& l : logs.lines) said += l.message.find("cannot be loaded") != std::string::npos;
    EXPECT_EQ(said, 1u);
}

}  // namespace
}  // namespace halvyn
