// The displays as drawn at their settled widths: labels whole (or elided with "…", never cut),
// the hover look visible in the window, and nothing drawn beyond the outline.

#include <QImage>
#include <QPainter>

#include <optional>
#include <string>

#include "notch/outline_model.h"
#include "shell/notch_scene.h"
#include "shell/notch_window.h"
#include "settings/keys.h"
#include "shell/pixels.h"
#include "shell/shell_fixture.h"
#include "runtime/owned_access.h"
#include "sources/privacy_manager.h"

namespace halvyn {
namespace {

// A notched laptop screen: the content shares a 38-point-high outline with the camera housing.
Screen notchedScreen() {
    Screen s = test::plainScreen();
    s.safeAreaTop = 38;
    s.auxiliaryTopLeft = 664;
    s.auxiliaryTopRight = 664;
    return s;
}

class DisplayDrawing : public test::ShellTest, public ::testing::WithParamInterface<bool> {
protected:
    DisplayDrawing() : test::ShellTest({GetParam() ? notchedScreen() : test::plainScreen()}), scene(*ctx, &levels) {
        levels.keyboard = 0.5f;
        levels.battery = 0.08;
        levels.accessoryValue = DisplayLevels::Accessory{"AirPods Max Sky Blue", "airpodsmax", 0.9, false};
        notch().enable();
        at(1);
    }
    QImage frame() { return scene.render(now(), 2); }
    // The display of `kind` drawn where it settles; then taken away again.
    QImage shown(N kind) {
        notch().setNotification(true, kind, 0.35, 3);
        at(t += 1.5);
        QImage img = frame();
        notch().setNotification(false, N::none, 0.35, 0);
        at(t += 1);
        return img;
    }

    test::FixedLevels levels;
    NotchScene scene;
    double t = 1;
};

// Every pixel the label has when drawn alone, in its font at its place, is there in the frame:
// nothing of it is clipped by the outline, the wing or a neighbour.
void expectWhole(const QImage& img, const NotchScene::DrawnLabel& label) {
    QImage alone(img.size(), QImage::Format_ARGB32_Premultiplied);
    alone.fill(Qt::transparent);
    {
        QPainter p(&alone);
        p.scale(2, 2);
        p.setFont(label.font);
        p.setPen(Qt::white);
        p.drawText(label.rect, Qt::AlignVCenter | Qt::AlignLeft, label.text);
    }
    int ink = 0, missing = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(alone.pixel(x, y)) >= 200) {
                ++ink;
                missing += qRed(img.pixel(x, y)) < 150;
            }
    EXPECT_GT(ink, 40);
    EXPECT_EQ(missing, 0);
}

TEST_P(DisplayDrawing, StandardLabelsShowWholeAtTheirSettledWidth) {
    const std::pair<N, const char*> kinds[] = {{N::didChangeVolume, "Sound"},
                                               {N::didChangeBrightness, "Display"},
                                               {N::didChangeKeyboardBrightness, "Keyboard"},
                                               {N::isCharging, "Charging"},
                                               {N::isLowBattery, "Low Battery"},
                                               {N::isLowPowerMode, "Low Power"}};
    for (auto [kind, text] : kinds) {
        SCOPED_TRACE(text);
        const QImage img = shown(kind);
        ASSERT_TRUE(scene.lastLabel());
        EXPECT_EQ(scene.lastLabel()->text.toStdString(), text);
        EXPECT_EQ(scene.lastLabel()->full.toStdString(), text);
        expectWhole(img, *scene.lastLabel());
    }
}

TEST_P(DisplayDrawing, LowBatteryHasTheNotificationsLayoutAndWarns) {
    shown(N::isCharging);
    ASSERT_TRUE(scene.lastLabel());
    const NotchScene::DrawnLabel chargingLabel = *scene.lastLabel();
    const QImage low = shown(N::isLowBattery);
    ASSERT_TRUE(scene.lastLabel());
    const NotchScene::DrawnLabel lowLabel = *scene.lastLabel();
    // At 8 % the battery is critical: its symbol and percentage in the warning colour.
    EXPECT_GT(test::countPixels(low, [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 110 && qBlue(c) < 140; }), 60);
    if (GetParam()) return;  // beside a camera housing the wing is too narrow for a symbol and this label
    EXPECT_EQ(lowLabel.font.pixelSize(), chargingLabel.font.pixelSize()) << "the same size as the others";
    EXPECT_DOUBLE_EQ(lowLabel.rect.left(), chargingLabel.rect.left()) << "beside its symbol, as the others";
    const QRect beforeLabel(0, 0, static_cast<int>(lowLabel.rect.left() * 2) - 4, low.height());
    EXPECT_GT(test::countPixels(low, beforeLabel, [](QRgb p) { return qAlpha(p) > 200 && qRed(p) > 150; }), 30)
        << "the battery symbol";
}

// Whatever a display draws on the right, however wide, ends a clear gap before the in-use dots;
// two dots push it further in than one.
TEST_P(DisplayDrawing, RightWingKeepsAGapBeforeTheInUseDots) {
    defaults().set(keys::showHUDPercentage, true);
    levels.vol = 1.0f;
    PrivacyManager& privacy = ctx->privacy();
    setAsOwner(privacy.isIndicatorVisible, true);
    setAsOwner(privacy.microphoneApplications, std::vector<std::string>{"Firefox"});
    std::vector<double> volumeEnds;
    for (bool camera : {false, true}) {
        if (camera) setAsOwner(privacy.cameraApplications, std::vector<std::string>{"Cheese"});
        for (N kind : {N::didChangeVolume, N::isCharging, N::isLowBattery}) {
            SCOPED_TRACE(::testing::Message() << static_cast<int>(kind) << " camera " << camera);
            shown(kind);
            const QRectF dots = scene.privacyDots(), wing = scene.lastRightWing();
            ASSERT_FALSE(dots.isEmpty());
            ASSERT_FALSE(wing.isEmpty());
            EXPECT_LE(wing.right(), dots.left() - 4);
            if (kind == N::didChangeVolume) volumeEnds.push_back(wing.right());
        }
    }
    EXPECT_LT(volumeEnds[1], volumeEnds[0] - 8) << "two dots push the volume's end further in";
}

TEST_P(DisplayDrawing, HoverIsVisibleInTheWindowAndNothingRunsBeyondTheOutline) {
    NotchWindow window(*ctx, &levels);
    window.show();
    const QImage idle = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The top row is the outline's own: no strip across the window beside it.
    const double width = ctx->outline().width.get();
    const int topRow = test::rowCoverage(idle, 0);
    EXPECT_NEAR(topRow, width * idle.width() / 576.0, 6);
    EXPECT_LE(topRow, width * idle.width() / 576.0);
    // Below the outline the window is not shaped in while the notch is not lifted.
    const QPoint below(288, static_cast<int>(ctx->outline().height.get()) + 6);
    EXPECT_FALSE(window.mask().contains(below));

    setAsOwner(notch().isElevated, true, Animation::spring(0.35, 0.45));
    at(3);
    const QImage hovered = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(hovered.size(), idle.size());
    EXPECT_GT(test::alphaDiffers(idle, hovered, 8), 2000) << "the lifted notch's shadow shows around it";
    EXPECT_TRUE(window.mask().contains(below)) << "the shadow is part of the window's shape";
    // The shape is sent again only when the outline's bounds or radii move.
    const long updates = window.shapeUpdates();
    for (int i = 0; i < 5; ++i) window.repaint();
    EXPECT_EQ(window.shapeUpdates(), updates);
}

TEST_P(DisplayDrawing, OpenNotchShowsBatteryAccessoryAndTheOutputControlWhenAsked) {
    defaults().set(keys::disableExpandWhileInactive, false);
    notch().setExpanded(true, false);
    at(3);
    const QImage open = frame();
    auto whiteIn = [](const QImage& img, int y0, int y1) {
        return test::countPixels(img, QRect(0, y0 * 2, img.width(), (y1 - y0) * 2),
                                 [](QRgb p) { return qRed(p) > 200 && qAlpha(p) > 250; });
    };
    const int h = static_cast<int>(notch().notchExpandedHeight.get());
    EXPECT_GT(whiteIn(open, static_cast<int>(notch().notchHeight.get()), h), 400) << "battery and accessory rows";
    EXPECT_EQ(whiteIn(open, h, h + 34), 0) << "no output control unless asked";
    notch().setOutput(true, false);
    at(5);
    EXPECT_GT(whiteIn(frame(), h, h + 34), 100) << "the output control's symbol and level";
}

// Past full the bar stays full and its end turns amber by the amplified share; at full, none.
TEST_P(DisplayDrawing, AmplifiedVolumeShowsAFullBarWithTheExcessMarked) {
    auto amber = [](QRgb c) { return qRed(c) > 220 && qGreen(c) > 130 && qGreen(c) < 180 && qBlue(c) < 60; };
    std::vector<int> marked;
    for (float level : {1.0f, 1.2f, 1.5f}) {
        levels.vol = level;
        levels.changed(nullptr);
        marked.push_back(test::countPixels(shown(N::didChangeVolume), amber));
    }
    EXPECT_EQ(marked[0], 0);
    EXPECT_GT(marked[1], 20);
    EXPECT_GT(marked[2], marked[1] * 3 / 2) << "a third of the bar at 150 %, a sixth at 120 %";
}

INSTANTIATE_TEST_SUITE_P(Screens, DisplayDrawing, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Notched") : std::string("Plain"); });

TEST(FitLabel, ShrinksThenElidesAndNeverOverflows) {
    QFont f;
    const QString name = QStringLiteral("AirPods Max Sky Blue");
    auto [big, whole] = fitLabel(f, name, 1000, 13, 9);
    EXPECT_EQ(whole, name);
    EXPECT_EQ(big.pixelSize(), 13);
    auto [small, elided] = fitLabel(f, name, 60, 13, 9);
    EXPECT_EQ(small.pixelSize(), 9);
    ASSERT_GE(elided.size(), 2);
    EXPECT_TRUE(elided.endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetricsF(small).horizontalAdvance(elided), 60);
    EXPECT_TRUE(fitLabel(f, name, 4, 13, 9).second.isEmpty()) << "an ellipsis alone is not drawn";
}

}  // namespace
}  // namespace halvyn
