// The stretch rule of the pages: each anchored corner moves by its anchor's percentage of
// the page's growth, and the About page's buttons keep their distance to the top-right.
#include <gtest/gtest.h>

#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/kit/CResizablePage.h"
#include "ui/pages/CPageAbout.h"

namespace qm {
namespace {

struct AnchorCase {
    const char* name;
    Anchor topLeft;
    Anchor bottomRight;
    QRect expected;  // the control (10, 20, 100 x 30) of a 400 x 300 page, in a 501 x 361 page
};

class AnchorTest : public ::testing::TestWithParam<AnchorCase> {};

// Growth of 101 x 61 pixels: a 50 % anchor moves by half of it, rounded down (50 and 30),
// so an odd growth catches rounding the wrong way.
TEST_P(AnchorTest, CornersFollowTheirAnchorsByPercentOfTheGrowth) {
    const AnchorCase& c = GetParam();
    const AnchoredRect rule = AnchoredRect::Record(QRect(10, 20, 100, 30), QSize(400, 300), c.topLeft, c.bottomRight);
    EXPECT_EQ(rule.PlaceIn(QSize(400, 300)), QRect(10, 20, 100, 30));
    EXPECT_EQ(rule.PlaceIn(QSize(501, 361)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Anchors, AnchorTest,
    ::testing::Values(AnchorCase{"StaysTopLeft", kTopLeft, kTopLeft, QRect(10, 20, 100, 30)},
                      AnchorCase{"MovesWithTopRight", kTopRight, kTopRight, QRect(111, 20, 100, 30)},
                      AnchorCase{"MovesWithBottomRight", kBottomRight, kBottomRight, QRect(111, 81, 100, 30)},
                      AnchorCase{"StretchesAcross", kTopLeft, kTopRight, QRect(10, 20, 201, 30)},
                      AnchorCase{"StretchesBothWays", kTopLeft, kBottomRight, QRect(10, 20, 201, 91)},
                      AnchorCase{"HalfWidth", kTopLeft, kTopCenter, QRect(10, 20, 150, 30)},
                      AnchorCase{"MovesToTheMiddle", kMiddle, kMiddle, QRect(60, 50, 100, 30)},
                      AnchorCase{"LowerHalfStretch", kMiddleLeft, kBottomRight, QRect(10, 50, 201, 61)}),
    [](const auto& info) { return std::string(info.param.name); });

// A page never places its controls for less than its design size.
TEST(ResizablePageTest, PageSmallerThanItsDesignKeepsTheDesignPlaces) {
    test::App();
    CResizablePage page(QStringLiteral("Page"), QSize(400, 300));
    auto* button = new QPushButton(&page);
    button->setGeometry(300, 10, 90, 25);
    page.AddAnchor(button, kTopRight);
    page.resize(350, 250);
    page.ArrangeLayout();
    EXPECT_EQ(button->geometry(), QRect(300, 10, 90, 25));
    page.resize(460, 250);
    page.ArrangeLayout();
    EXPECT_EQ(button->geometry(), QRect(360, 10, 90, 25));
}

// The three buttons keep their distance to the page's top-right corner as the page grows.
TEST(ResizablePageTest, AboutButtonsKeepTheirDistanceToTheTopRightCorner) {
    test::App();
    CPageAbout about;
    about.resize(about.DesignSize());
    about.ArrangeLayout();
    std::vector<QRect> before;
    for (QPushButton* button : {about.Ui().helpButton, about.Ui().updateButton, about.Ui().tellButton}) {
        before.push_back(button->geometry());
        EXPECT_LE(button->geometry().right(), about.width() - 1);
    }
    about.resize(about.DesignSize() + QSize(333, 222));
    about.ArrangeLayout();
    int i = 0;
    for (QPushButton* button : {about.Ui().helpButton, about.Ui().updateButton, about.Ui().tellButton}) {
        EXPECT_EQ(button->geometry(), before[i++].translated(333, 0));
    }
}

}  // namespace
}  // namespace qm
