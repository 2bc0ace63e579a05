// The notch as painted, on virtual time: the outline's size, shape and fill for a few states,
// and the motion between them.

#include <QImage>

#include <algorithm>
#include <cstdlib>

#include "shell/colors.h"
#include "shell/notch_scene.h"
#include "shell/pixels.h"
#include "shell/shell_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

using test::columnCoverage;
using test::rowCoverage;

bool opaqueBlack(QRgb p) { return qAlpha(p) > 250 && qRed(p) < 5 && qGreen(p) < 5 && qBlue(p) < 5; }

class NotchRendering : public test::ShellTest {
protected:
    NotchRendering() : scene(*ctx, &levels) {
        notch().enable();
        at(1);
    }
    QImage frame() { return scene.render(now()); }

    test::FixedLevels levels;
    NotchScene scene;
};

TEST_F(NotchRendering, IdleDrawnNotchHasItsSizeAndNothingAround) {
    const QImage img = frame();
    ASSERT_EQ(img.size(), QSize(576, 320));
    // Below the flares (top radius 5) the body is the notch's width less the radii on both sides.
    EXPECT_NEAR(rowCoverage(img, 12), 185 - 2 * 5, 1);
    EXPECT_NEAR(columnCoverage(img, 288), 24, 1);
    // The body hangs from the top edge, centred, filled black.
    EXPECT_TRUE(opaqueBlack(img.pixel(288, 0)));
    EXPECT_TRUE(opaqueBlack(img.pixel(288, 22)));
    // The flares widen the outline towards the edge (concave: already mostly gone one row down);
    // nothing runs along the edge beyond the outline.
    EXPECT_GT(rowCoverage(img, 1), 176);
    EXPECT_LT(rowCoverage(img, 1), 183);
    EXPECT_LT(rowCoverage(img, 3), rowCoverage(img, 1));
    EXPECT_LE(rowCoverage(img, 0), 185);
    // Transparent everywhere else: along the edge, below (no shadow while not hovered), beside,
    // and in the rounded bottom-left corner.
    for (QPoint p : {QPoint(20, 0), QPoint(288, 27), QPoint(288, 30), QPoint(100, 5), QPoint((576 - 175) / 2, 23)})
        EXPECT_EQ(qAlpha(img.pixel(p)), 0) << p.x() << "," << p.y();
}

TEST_F(NotchRendering, VolumeDisplayWidensTheOutlineAndShowsItsLevel) {
    ctx->notch().setNotification(true, N::didChangeVolume, 0.3, 1.5);
    at(1.5);
    const QImage img = frame();
    // 185 + 184, flares of 6.5 (5 + 1.5 while a notification shows) on each side.
    EXPECT_NEAR(rowCoverage(img, 12), 369 - 2 * 6.5, 3);
    // The level bar and symbol are white on black inside the wings.
    EXPECT_GT(test::countPixels(img, QRect(0, 0, 576, 24), [](QRgb p) { return qAlpha(p) > 250 && qRed(p) > 200 && qGreen(p) > 200; }),
              40);
    // After the display time the outline comes back to the idle width.
    at(4);
    EXPECT_NEAR(rowCoverage(frame(), 12), 175, 1);
}

TEST_F(NotchRendering, NoLevelMeansNoContent) {
    levels.vol.reset();
    ctx->notch().setNotification(true, N::didChangeVolume, 0.3, 1.5);
    at(1.5);
    const QImage img = frame();
    EXPECT_NEAR(rowCoverage(img, 12), 356, 3) << "the outline still widens";
    EXPECT_EQ(test::countPixels(img, QRect(0, 0, 576, 24), [](QRgb p) { return qRed(p) >= 30; }), 0)
        << "nothing made up is drawn";
}

TEST_F(NotchRendering, ExpandingSpringsToTheExpandedSize) {
    ctx->notch().setExpanded(true, false);
    at(1.05);  // the change is applied on the next turn; the spring has barely begun
    const int early = rowCoverage(frame(), 12);
    at(1.2);
    const int mid = rowCoverage(frame(), 12);
    EXPECT_GT(mid, early);
    EXPECT_LT(mid, 345 + 20) << "on its way, not jumped";
    at(3);
    const QImage img = frame();
    // 345 wide with flares of 17 (5 + 12 expanded), 174 high.
    EXPECT_NEAR(rowCoverage(img, 60), 345 - 2 * 17, 1.5);
    EXPECT_NEAR(columnCoverage(img, 288), 174, 1);
    EXPECT_FALSE(scene.moving()) << "a settled notch asks for no more frames";
}

TEST_F(NotchRendering, AdjustingFillsWithRose) {
    ctx->notch().setAdjusting(true, Notch::Axis::horizontal);
    at(2);
    const QImage img = frame();
    const QColor c = img.pixelColor(288, 10), rose = roseColor();
    EXPECT_LE(std::max({std::abs(c.red() - rose.red()), std::abs(c.green() - rose.green()), std::abs(c.blue() - rose.blue())}), 3)
        << c.name().toStdString();
    // The backing strip is clear meanwhile: beyond the flares the top row stays transparent.
    EXPECT_EQ(qAlpha(img.pixel(20, 0)), 0);
}

TEST_F(NotchRendering, HoverLiftsWithAShadow) {
    setAsOwner(ctx->notch().isElevated, true, Animation::spring(0.35, 0.45));
    at(2);
    const QImage img = frame();
    // The shadow darkens the area just below the outline.
    EXPECT_GT(qAlpha(img.pixel(288, 27)), 10);
    EXPECT_EQ(qAlpha(img.pixel(288, 80)), 0);
}

}  // namespace
}  // namespace halvyn
