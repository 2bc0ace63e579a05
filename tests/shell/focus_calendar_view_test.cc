#include "shell/focus_calendar_view.h"

#include <QImage>

#include "calendar/calendar_manager.h"
#include "runtime/dates.h"
#include "shell/notch_scene.h"
#include "sources/privacy_manager.h"
#include "runtime/owned_access.h"
#include "pixels.h"
#include "shell_fixture.h"
#include "sources/focus_manager.h"

namespace halvyn::test {
namespace {

TEST(FocusCalendarView, ContentFollowsTheSources) {
    const FocusMode work = focus::builtInModes().at("com.apple.focus.work");
    WingContent on = focusContent(work, true, false);
    EXPECT_EQ(on.symbol, "person.lanyardcard.fill");
    EXPECT_EQ(on.tint, namedColor("TealColor"));
    EXPECT_EQ(on.label, "Work");
    WingContent off = focusContent(work, false, true);
    EXPECT_EQ(off.label, "") << "hideLabel";
    EXPECT_EQ(off.trailing, "Off");
    EXPECT_NE(off.tint, on.tint);
    EXPECT_EQ(focusContent(FocusMode{"x", "star", "NoSuchColor", "Mine", std::nullopt}, true, false).tint,
              namedColor("IndigoColor"));

    for (auto [left, text] : {std::pair{900.0, "15m"}, {4500.0, "1h 15m"}, {301.0, "6m"}, {300.0, "5:00"},
                              {290.0, "4:50"}, {61.0, "1:01"}, {59.5, "60s"}, {1.0, "1s"}, {0.0, "now"}})
        EXPECT_EQ(countdownText(left), text) << left;

    UpcomingEvent e{"id", "🎉 Quarterly planning meeting", {}, {}, "#FF9500", {}, {}, {}};
    WingContent cal = calendarContent(e, 600, 0.75, false, true);
    EXPECT_EQ(cal.label, "Quarterly planning...");
    EXPECT_EQ(cal.trailing, "10m");
    EXPECT_DOUBLE_EQ(*cal.bar, 0.25) << "elapsed by default";
    EXPECT_EQ(cal.barColor, QColor(0xFF, 0x95, 0x00));
    EXPECT_DOUBLE_EQ(*calendarContent(e, 600, 0.75, true, false).bar, 0.75) << "remaining when reversed";
    EXPECT_EQ(calendarContent(e, 600, 0.5, false, false).trailingShort, "");
    EXPECT_EQ(calendarContent(e, 3900, 0.5, false, false).trailingShort, "65m") << "for a wing too narrow for 1h 05m";
    EXPECT_EQ(calendarContent(e, 7140, 0.5, false, false).trailingShort, "2h");

    EXPECT_EQ(timeToLeaveContent(1200, TransportType::walk).symbol, "figure.walk");
    EXPECT_EQ(timeToLeaveContent(1200, TransportType::walk).trailing, "20 min");
    EXPECT_EQ(timeToLeaveContent(std::nullopt, TransportType::drive).trailing, "");
}

class CalendarDrawing : public ShellTest {
protected:
    CalendarDrawing() {
        auto& store = sim->simCalendarStore();
        store.authorization = CalendarAuthorization::fullAccess;
        store.calendarList = {{"work", 1, 2, "#FF9500"}};
        CalendarEvent ev;
        ev.id = "talk";
        ev.calendarId = "work";
        ev.title = "Talk";
        ev.start = ctx->clock().now() + seconds(600);
        ev.end = ev.start + seconds(600);
        ev.notes = "Join at https://meet.google.com/abc-defg-hij";
        store.eventList.push_back(ev);
        defaults().set(keys::enableCalendar, true);
        ctx->calendar().applicationDidBecomeActive();  // reads the authorization given above
        notch().enable();
        at(5);
    }
    // White pixels along the bottom of the compact notch, where the bar is.
    int brightPixels(NotchScene& scene) {
        const QImage img = scene.render(now() + 5);
        return countPixels(img, QRect(0, 17, img.width(), 7), [](QRgb p) { return qGray(p) > 200 && qAlpha(p) > 200; });
    }
};

TEST_F(CalendarDrawing, TheBarHonoursReverseEventProgress) {
    ASSERT_EQ(notch().liveActivity.get(), L::isCalendar);
    ASSERT_TRUE(focusCalendarActivity(*ctx));
    NotchScene scene(*ctx, nullptr);
    const int elapsed = brightPixels(scene);
    defaults().set(keys::reverseEventProgress, true);
    const int remaining = brightPixels(scene);
    EXPECT_GT(remaining, elapsed + 20) << "nearly all of the event remains";
    EXPECT_GT(elapsed, 0) << "the start of the bar is drawn";
}

TEST_F(CalendarDrawing, EveryCountdownFormatShowsWholeInItsWing) {
    NotchScene scene(*ctx, nullptr);
    auto shown = [&](double t) {
        at(t);
        scene.render(t + 0.05);  // while the outline still moves, the text is laid out for where it settles
        const QImage img = scene.render(t + 5);
        EXPECT_GT(lightPixels(img, scene.lastTrailing()->rect), 10) << t;
        return scene.lastTrailing()->text.toStdString();
    };
    EXPECT_EQ(shown(5), "10m");
    EXPECT_EQ(shown(430), "2:50");
    EXPECT_EQ(shown(555), "45s");
    // Counting to the end of a two-hour event: "2h 00m" where it fits, else the nearest hour.
    sim->simCalendarStore().eventList.front().end += seconds(6600);
    sim->simCalendarStore().postChange();
    const std::string hours = shown(601);
    EXPECT_TRUE(hours == "2h 00m" || hours == "2h") << hours;

    // A countdown restarted while the notch widens shows whole from its first frame.
    notch().setLiveActivity(false, L::none, false, {}, 0.35);
    at(610);
    notch().setLiveActivity(true, L::isCalendar, false, {}, 0.35);
    time->runCurrent();
    scene.render(610.1);
    EXPECT_EQ(scene.lastTrailing()->text.toStdString(), hours);
}

TEST_F(CalendarDrawing, TheCountdownKeepsAGapBeforeTheInUseDots) {
    NotchScene scene(*ctx, nullptr);
    setAsOwner(ctx->privacy().isIndicatorVisible, true);
    setAsOwner(ctx->privacy().cameraApplications, std::vector<std::string>{"Cheese"});
    scene.render(10);
    ASSERT_TRUE(scene.lastTrailing());
    ASSERT_FALSE(scene.privacyDots().isEmpty());
    EXPECT_LE(scene.lastTrailing()->rect.right(), scene.privacyDots().left() - 4);
}

TEST_F(CalendarDrawing, ThePeekShowsTheEventAndItsJoinButton) {
    NotchScene scene(*ctx, nullptr);
    const QRectF band(0, notch().notchHeight.get() + 2, NotchScene::kWidth, 28);
    EXPECT_EQ(lightPixels(scene.render(5.5), band), 0);
    // When the event starts the notch peeks with its title, its time and the join button.
    at(600.5);
    ASSERT_TRUE(notch().isQuickPeeking.get());
    const QImage peek = scene.render(601);
    EXPECT_GT(lightPixels(peek, band), 150) << "title and time in the band";
    const QRectF join = scene.joinButton();
    ASSERT_FALSE(join.isEmpty());
    EXPECT_GT(join.top(), notch().notchHeight.get());
    EXPECT_TRUE(scene.pointerDown(join.center()));
    EXPECT_EQ(sim->effects().ofKind("openURL").size(), 1u);
    // The service as a person reads it, never its case name.
    const auto details = eventDetails(*ctx);
    ASSERT_TRUE(details);
    EXPECT_EQ(details->service, "Google Meet");
    EXPECT_EQ(details->title, "Talk");

    // The open notch shows the event too, with its button.
    notch().setQuickPeek(false, Notch::QuickPeek::none, true, 0.4, -0.3, 0);
    defaults().set(keys::disableExpandWhileInactive, false);
    notch().setExpanded(true, false);
    at(603);
    const QImage open = scene.render(604);
    EXPECT_FALSE(scene.joinButton().isEmpty());
    EXPECT_GT(lightPixels(open, QRectF(0, scene.joinButton().top(), scene.joinButton().left(), 30)), 150);
}

}  // namespace
}  // namespace halvyn::test
