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
#include "shell/shell_fixture.h"
#include "runtime/owned_access.h"
#include "sources/privacy_manager.h"

namespace halvyn {
namespace {

struct Levels : DisplayLevels {
    std::optional<float> volume() const override { return level; }
    std::optional<float> brightness() const override { return 0.5f; }
    std::optional<float> keyboardBrightness() const override { return 0.5f; }
    std::optional<double> batteryLevel() const override { return 0.08; }
    std::optional<Accessory> accessory() const override { return Accessory{"AirPods Max Sky Blue", "airpodsmax", 0.9, false}; }
    Subscription observe(std::function<void(const Animation*)> cb) const override {
        changed = std::move(cb);
        return {};
    }
    float level = 0.5f;
    mutable std::function<void(const Animation*)> changed;
};

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
        notch().enable();
        at(1);
    }
    QImage frame() { return scene.render(toSeconds(time->uptime()), 2); }

    Levels levels;
    NotchScene scene;
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
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(alone.pixel(x, y)) < 200) continue;
            ++ink;
            missing += qRed(img.pixel(x, y)) < 150;
        }
    EXPECT_GT(ink, 40) << label.text.toStdString();
    EXPECT_EQ(missing, 0) << label.text.toStdString();
}

TEST_P(DisplayDrawing, StandardLabelsShowWholeAtTheirSettledWidth) {
    const std::pair<N, const char*> kinds[] = {{N::didChangeVolume, "Sound"},
                                               {N::didChangeBrightness, "Display"},
                                               {N::didChangeKeyboardBrightness, "Keyboard"},
                                               {N::isCharging, "Charging"},
                                               {N::isLowBattery, "Low Battery"},
                                               {N::isLowPowerMode, "Low Power"}};
    double t = 1;
    for (auto [kind, text] : kinds) {
        notch().setNotification(true, kind, 0.35, 3);
        at(t += 1.5);
        const QImage img = frame();
        ASSERT_TRUE(scene.lastLabel()) << text;
        EXPECT_EQ(scene.lastLabel()->text.toStdString(), text);
        EXPECT_EQ(scene.lastLabel()->full.toStdString(), text);
        expectWhole(img, *scene.lastLabel());
        notch().setNotification(false, N::none, 0.35, 0);
        at(t += 1);
    }
}

TEST_P(DisplayDrawing, LowBatteryHasTheNotificationsLayoutAndWarns) {
    auto show = [&](N kind, double t) {
        notch().setNotification(true, kind, 0.35, 3);
        at(t);
        const QImage img = frame();
        notch().setNotification(false, N::none, 0.35, 0);
        at(t + 1);
        return img;
    };
    show(N::isCharging, 2.5);
    ASSERT_TRUE(scene.lastLabel());
    const NotchScene::DrawnLabel chargingLabel = *scene.lastLabel();
    const QImage low = show(N::isLowBattery, 5);
    ASSERT_TRUE(scene.lastLabel());
    const NotchScene::DrawnLabel lowLabel = *scene.lastLabel();
    // At 8 % the battery is critical: its symbol and percentage in the warning colour.
    int warning = 0;
    for (int y = 0; y < low.height(); ++y)
        for (int x = 0; x < low.width(); ++x) {
            const QColor c = low.pixelColor(x, y);
            warning += c.red() > 180 && c.green() < 110 && c.blue() < 140;
        }
    EXPECT_GT(warning, 60);
    if (GetParam()) return;  // beside a camera housing the wing is too narrow for a symbol and this label
    EXPECT_EQ(lowLabel.font.pixelSize(), chargingLabel.font.pixelSize()) << "the same size as the others";
    EXPECT_DOUBLE_EQ(lowLabel.rect.left(), chargingLabel.rect.left()) << "beside its symbol, as the others";
    int symbol = 0;
    for (int y = 0; y < low.height(); ++y)
        for (int x = 0; x < static_cast<int>(lowLabel.rect.left() * 2) - 4; ++x) symbol += qAlpha(low.pixel(x, y)) > 200 && qRed(low.pixel(x, y)) > 150;
    EXPECT_GT(symbol, 30) << "the battery symbol";
}

// Whatever a display draws on the right, however wide, ends a clear gap before the in-use dots;
// two dots push it further in than one.
TEST_P(DisplayDrawing, RightWingKeepsAGapBeforeTheInUseDots) {
    defaults().set(keys::showHUDPercentage, true);
    levels.level = 1.0f;
    PrivacyManager& privacy = ctx->privacy();
    setAsOwner(privacy.isIndicatorVisible, true);
    setAsOwner(privacy.microphoneApplications, std::vector<std::string>{"Firefox"});
    double t = 1;
    double oneDot = 0;
    for (bool camera : {false, true}) {
        if (camera) setAsOwner(privacy.cameraApplications, std::vector<std::string>{"Cheese"});
        for (N kind : {N::didChangeVolume, N::isCharging, N::isLowBattery}) {
            notch().setNotification(true, kind, 0.35, 3);
            at(t += 1.5);
            frame();
            const QRectF dots = scene.privacyDots(), wing = scene.lastRightWing();
            ASSERT_FALSE(dots.isEmpty());
            ASSERT_FALSE(wing.isEmpty()) << static_cast<int>(kind);
            EXPECT_LE(wing.right(), dots.left() - 4) << static_cast<int>(kind) << " camera " << camera;
            if (kind == N::didChangeVolume) {
                if (camera) {
                    EXPECT_LT(wing.right(), oneDot - 8);
                }
                oneDot = wing.right();
            }
            notch().setNotification(false, N::none, 0.35, 0);
            at(t += 1);
        }
    }
}

TEST_P(DisplayDrawing, HoverIsVisibleInTheWindowAndNothingRunsBeyondTheOutline) {
    NotchWindow window(*ctx, &levels);
    window.show();
    const QImage idle = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The top row is the outline's own: no strip across the window beside it.
    const double width = ctx->outline().width.get();
    int topRow = 0;
    for (int x = 0; x < idle.width(); ++x) topRow += qAlpha(idle.pixel(x, 0)) > 127;
    EXPECT_NEAR(topRow, width * idle.width() / 576.0, 6);
    EXPECT_LE(topRow, width * idle.width() / 576.0);
    // Below the outline the window is not shaped in while the notch is not lifted.
    const QPoint below(288, static_cast<int>(ctx->outline().height.get()) + 6);
    EXPECT_FALSE(window.mask().contains(below));

    setAsOwner(notch().isElevated, true, Animation::spring(0.35, 0.45));
    at(3);
    const QImage hovered = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(hovered.size(), idle.size());
    int differ = 0;
    for (int y = 0; y < idle.height(); ++y)
        for (int x = 0; x < idle.width(); ++x) differ += std::abs(qAlpha(idle.pixel(x, y)) - qAlpha(hovered.pixel(x, y))) > 8;
    EXPECT_GT(differ, 2000) << "the lifted notch's shadow shows around it";
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
        int n = 0;
        for (int y = y0 * 2; y < y1 * 2; ++y)
            for (int x = 0; x < img.width(); ++x) n += qRed(img.pixel(x, y)) > 200 && qAlpha(img.pixel(x, y)) > 250;
        return n;
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
    auto amber = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                n += qRed(c) > 220 && qGreen(c) > 130 && qGreen(c) < 180 && qBlue(c) < 60;
            }
        return n;
    };
    double t = 1;
    std::vector<int> marked;
    for (float level : {1.0f, 1.2f, 1.5f}) {
        levels.level = level;
        levels.changed(nullptr);
        notch().setNotification(true, N::didChangeVolume, 0.35, 3);
        at(t += 1.5);
        const QImage img = frame();
        marked.push_back(amber(img));
        notch().setNotification(false, N::none, 0.35, 0);
        at(t += 1);
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
