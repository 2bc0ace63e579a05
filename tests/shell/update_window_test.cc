// The update window, built offscreen over the simulated system.

#include <QPushButton>

#include <memory>

#include <gtest/gtest.h>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "shell/event_loop.h"
#include "shell/update_window.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

TEST(UpdateNotes, MarkdownRendersWithoutPassingRawHtmlOrUnsafeLinks) {
    const std::string html = renderNoteHtml("**Faster** start, ~~slower~~ `code` <script>alert(1)</script> "
                                            "[x](javascript:alert(1)) https://example.org");
    EXPECT_NE(html.find("<strong>Faster</strong>"), std::string::npos);
    EXPECT_NE(html.find("<del>slower</del>"), std::string::npos);
    EXPECT_NE(html.find("<code>code</code>"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find("javascript:"), std::string::npos);
    EXPECT_NE(html.find("href=\"https://example.org\""), std::string::npos);
}

TEST(UpdateWindow, ShowsSectionsFoldsThemAndFollowsTheInstall) {
    auto time = std::make_unique<VirtualTime>();
    VirtualTime* vt = time.get();
    auto platform = std::make_unique<SimPlatform>(*vt);
    SimPlatform* sim = platform.get();
    CaptureLogSink logs;
    Context ctx(std::move(time), std::move(platform), &logs);
    sim->simFiles().createDirectories(sim->simFiles().temporaryDirectory());
    sim->simFiles().put("/Applications/Halvyn.app/Contents/MacOS/Halvyn", "1", true);
    sim->simHttp().setServer("https://updates.halvyn.app/", [](const HttpRequest& r) {
        const bool download = !r.headers.empty();
        return std::optional<HttpResponse>(HttpResponse{
            200, {},
            download ? R"({"entries": [{"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "file"},
                                      {"path": "Halvyn.app/Contents/XPCServices/HalvynHelper.xpc", "type": "dir"}]})"
                     : R"({"id": 1, "tag_name": "2.0.0", "name": "2", "assets": [{"name": "H.zip", "url": "https://u/1",
                          "browser_download_url": "https://b/1"}], "prerelease": false, "published_at": "",
                          "body": "# 📣 New\n- **Bold** start\n- Two\n# 🐞 Fixes\n- One <b>raw</b>"})",
            {}});
    });
    UpdateController& u = ctx.updates();
    QtUpdateWindow host(ctx);
    u.setWindowHost(&host);
    u.checkForUpdates([&u] { u.showUpdateWindowIfAvailable(); });
    vt->advance(seconds(0.1));
    auto* view = dynamic_cast<UpdateView*>(host.window());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width(), QtUpdateWindow::kWidth);
    EXPECT_LE(view->height(), QtUpdateWindow::kMaxInitialHeight);
    ASSERT_EQ(view->sectionCount(), 2);
    EXPECT_TRUE(view->notesHtml(0).contains("<strong>Bold</strong>"));
    EXPECT_FALSE(view->notesHtml(1).contains("<b>raw</b>"));
    EXPECT_TRUE(view->sectionExpanded(0));
    view->toggleSection(0);
    EXPECT_FALSE(view->sectionExpanded(0));
    EXPECT_TRUE(view->sectionExpanded(1));

    EXPECT_EQ(view->mainButtonLabel(), "Install");
    EXPECT_TRUE(view->remindLaterButton()->isEnabled());
    u.mainButton();
    EXPECT_FALSE(view->remindLaterButton()->isEnabled());
    vt->advance(seconds(1.1));
    EXPECT_EQ(view->mainButtonLabel(), "Restart...");
    EXPECT_FALSE(view->remindLaterButton()->isEnabled());
    // The window grows to its restart height, keeping its top edge.
    const int top = view->geometry().top();
    EXPECT_TRUE(test::spinUntil([&] { return view->height() == 312; }));
    EXPECT_EQ(view->geometry().top(), top);

    u.closeUpdateWindow();
    EXPECT_EQ(host.window(), nullptr);
    u.setWindowHost(nullptr);
}

TEST(UpdateWindow, AHugeChangelogShowsItsFirstNotesOnly) {
    auto time = std::make_unique<VirtualTime>();
    VirtualTime* vt = time.get();
    auto platform = std::make_unique<SimPlatform>(*vt);
    SimPlatform* sim = platform.get();
    Context ctx(std::move(time), std::move(platform), nullptr);
    std::string body = "# 📣 Many\\n";
    for (int i = 0; i < 5000; ++i) body += "- note " + std::to_string(i) + "\\n";
    const std::string release = R"({"id": 1, "tag_name": "2.0.0", "name": "2", "assets": [], "prerelease": false,
        "published_at": "", "body": ")" + body + "\"}";
    sim->simHttp().setServer("https://updates.halvyn.app/", [release](const HttpRequest&) {
        return std::optional<HttpResponse>(HttpResponse{200, {}, release, {}});
    });
    UpdateController& u = ctx.updates();
    QtUpdateWindow host(ctx);
    u.setWindowHost(&host);
    u.checkForUpdates([&u] { u.showUpdateWindowIfAvailable(); });
    vt->advance(seconds(0.1));
    ASSERT_EQ(u.changelog.get().at(0).body.size(), 5000u);
    auto* view = dynamic_cast<UpdateView*>(host.window());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->notesHtml(0).count("<p>"), 200);
    u.closeUpdateWindow();
    u.setWindowHost(nullptr);
}

}  // namespace
}  // namespace halvyn
