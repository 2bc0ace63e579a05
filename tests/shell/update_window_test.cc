// The update window, built offscreen over the simulated system.

#include <QLabel>
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

// The update window over the simulated system; the server answers `release`, and `archive` to a
// download request.
class UpdateWindowTest : public ::testing::Test {
protected:
    UpdateWindowTest() {
        auto time = std::make_unique<VirtualTime>();
        vt = time.get();
        auto platform = std::make_unique<SimPlatform>(*vt);
        sim = platform.get();
        ctx = std::make_unique<Context>(std::move(time), std::move(platform), &logs);
        host = std::make_unique<QtUpdateWindow>(*ctx);
        sim->simHttp().setServer("https://updates.halvyn.app/", [this](const HttpRequest& r) {
            return std::optional<HttpResponse>(HttpResponse{200, {}, r.headers.empty() ? release : archive, {}});
        });
        ctx->updates().setWindowHost(host.get());
    }
    ~UpdateWindowTest() override { ctx->updates().setWindowHost(nullptr); }

    // A check that opens the window when the release is newer.
    UpdateView* check() {
        UpdateController& u = ctx->updates();
        u.checkForUpdates([&u] { u.showUpdateWindowIfAvailable(); });
        vt->advance(seconds(0.1));
        return dynamic_cast<UpdateView*>(host->window());
    }
    static std::string releaseWith(const std::string& body, const std::string& more = "") {
        return R"({"id": 1, "tag_name": "2.0.0", "name": "2", "assets": [{"name": "H.zip", "url": "https://u/1",
            "browser_download_url": "https://b/1"}], "prerelease": false, "published_at": "", "body": ")" + body + "\"" +
               more + "}";
    }

    VirtualTime* vt = nullptr;
    SimPlatform* sim = nullptr;
    CaptureLogSink logs;
    std::unique_ptr<Context> ctx;
    std::unique_ptr<QtUpdateWindow> host;
    std::string release, archive;
};

TEST_F(UpdateWindowTest, ShowsSectionsFoldsThemAndFollowsTheInstall) {
    sim->simFiles().put("/Applications/Halvyn.app/Contents/MacOS/Halvyn", "1", true);
    release = releaseWith("# 📣 New\\n- **Bold** start\\n- Two, [notes](https://example.org/n) [old](http://example.org/o)\\n# 🐞 Fixes\\n- One <b>raw</b>");
    archive = R"({"entries": [{"path": "Halvyn.app/Contents/MacOS/Halvyn", "type": "file"},
                              {"path": "Halvyn.app/Contents/XPCServices/HalvynHelper.xpc", "type": "dir"}]})";
    UpdateController& u = ctx->updates();
    UpdateView* view = check();
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
    // A link in the notes opens through the program's opener, and only a secure one.
    for (QLabel* label : view->findChildren<QLabel*>())
        if (label->text().contains("example.org/n"))
            for (const char* link : {"http://example.org/o", "file:///etc/passwd", "https://example.org/n"})
                Q_EMIT label->linkActivated(QString::fromUtf8(link));
    const auto opened = sim->effects().ofKind("openURL");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(Value(opened[0].fields), Value(Value::Object{{"url", Value("https://example.org/n")}}));
    EXPECT_EQ(view->adviceText(), "");

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
    EXPECT_EQ(host->window(), nullptr);
}

TEST_F(UpdateWindowTest, ACopyThatCannotUpdateItselfSaysWhyAndOffersTheReleasePage) {
    sim->simBundle().info_.path.clear();
    sim->simBundle().info_.notReplaceable = "/usr is shared with other programs";
    release = releaseWith("# 📣 New\\n- One", R"(, "html_url": "https://example.org/releases/2.0.0")");
    UpdateView* view = check();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->mainButtonLabel(), "Open Release Page");
    EXPECT_TRUE(view->mainButton()->isVisibleTo(view));
    EXPECT_EQ(view->adviceText(), "Halvyn cannot update itself here: /usr is shared with other programs.\n\n"
                                  "Get Halvyn 2.0.0 from its release page and install it the way this copy was installed.");
    // Without a page to open, the text alone says how.
    release = releaseWith("# 📣 New\\n- One");
    check();
    EXPECT_FALSE(view->mainButton()->isVisibleTo(view));
    EXPECT_NE(view->adviceText().indexOf("Install Halvyn 2.0.0 the way this copy was installed"), -1);
}

TEST_F(UpdateWindowTest, APackagedCopyShowsTheNotesAndSaysToUpdateWithThePackageManager) {
    sim->simBundle().info_.path.clear();
    sim->simBundle().info_.notReplaceable = "/usr is shared with other programs";
    sim->simBundle().info_.packaged = true;
    release = releaseWith("# 📣 New\\n- **Bold** start", R"(, "html_url": "https://example.org/releases/2.0.0")");
    UpdateView* view = check();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->sectionCount(), 1);
    EXPECT_TRUE(view->notesHtml(0).contains("<strong>Bold</strong>"));
    EXPECT_EQ(view->adviceText(), "This copy of Halvyn was installed with the system's package manager. Update it there "
                                  "(for example with \"sudo apt update && sudo apt upgrade\") when it offers Halvyn 2.0.0. "
                                  "The release page tells more.");
    EXPECT_EQ(view->mainButtonLabel(), "Open Release Page");
    // The button opens the page and nothing else: no download, no install.
    const int asked = sim->simHttp().requests();
    ctx->updates().mainButton();
    vt->advance(seconds(2));
    EXPECT_EQ(sim->simHttp().requests(), asked);
    EXPECT_FALSE(ctx->updates().isInstalling.get());
    const auto opened = sim->effects().ofKind("openURL");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(Value(opened[0].fields), Value(Value::Object{{"url", Value("https://example.org/releases/2.0.0")}}));
}

TEST_F(UpdateWindowTest, AHugeChangelogShowsItsFirstNotesOnly) {
    std::string body = "# 📣 Many\\n";
    for (int i = 0; i < 5000; ++i) body += "- note " + std::to_string(i) + "\\n";
    release = releaseWith(body);
    UpdateView* view = check();
    ASSERT_EQ(ctx->updates().changelog.get().at(0).body.size(), 5000u);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->notesHtml(0).count("<p>"), 200);
}

}  // namespace
}  // namespace halvyn
