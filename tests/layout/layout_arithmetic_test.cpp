#include "layout_arithmetic.h"
#include "twips.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>

namespace TagLayout {
void PrintTo(const ControlGeometry& g, std::ostream* os) {
    *os << "{Left " << g.Left << ", Top " << g.Top << ", Width " << g.Width << ", Height "
        << g.Height << "}";
}
} // namespace TagLayout

namespace {

using TagLayout::ApplyLayout;
using TagLayout::ControlGeometry;
using TagLayout::FormSize;
using TagLayout::MakeControl;

constexpr auto Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr auto Int32Max = std::numeric_limits<std::int32_t>::max();

constexpr FormSize MainForm{12120, 8085};

TEST(NotNegative, ClampsOnlyNegativeValues) {
    EXPECT_EQ(TagLayout::NotNegative(-1), 0);
    EXPECT_EQ(TagLayout::NotNegative(Int32Min), 0);
    EXPECT_EQ(TagLayout::NotNegative(0), 0);
    EXPECT_EQ(TagLayout::NotNegative(4711), 4711);
}

TEST(MakeControl, MeasuresTheDistancesToTheFormEdges) {
    const clsControl r = MakeControl({1000, 600, 2000, 900}, MainForm, 79, 3);
    EXPECT_EQ(r.LeftIndent, 1000);
    EXPECT_EQ(r.TopIndent, 600);
    EXPECT_EQ(r.RightIndent, 9120);
    EXPECT_EQ(r.BottomIndent, 6585);
    EXPECT_EQ(r.Width, 2000);
    EXPECT_EQ(r.Height, 900);
    EXPECT_EQ(r.style, 79);
    EXPECT_EQ(r.ctrl, 3u);

    const clsControl far = MakeControl({2000000000, 0, 2000000000, 0}, {0, 0}, 2, 0);
    EXPECT_EQ(far.RightIndent, Int32Min);
}

struct ScaleCase {
    std::int32_t length, now, base, expected;
};

TEST(ScaleLength, RoundsToTheNearestTwipWithoutOverflow) {
    constexpr ScaleCase cases[] = {
        {1000, 10000, 5000, 2000},
        {1000, 4000, 3000, 1333},
        {1000, 5000, 3000, 1667},
        {1, 3, 2, 2},                  // 1.5: halves away from zero
        {-1, 3, 2, -2},                // -1.5
        {45000, 57600, 12120, 213861}, // product beyond 32 bits
        {Int32Max, Int32Max, 1, Int32Max},
        {Int32Min, Int32Max, 1, Int32Min},
        {1000, 5000, 0, 1000}, // no base to scale by
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " * " << c.now << " / " << c.base);
        EXPECT_EQ(TagLayout::ScaleLength(c.length, c.now, c.base), c.expected);
    }
}

struct RedrawCase {
    const char* name;
    std::int32_t style;
    ControlGeometry registered;
    FormSize base;
    ControlGeometry current; // where the control stands before the redraw
    FormSize now;
    ControlGeometry expected;
};

// Lengths in twips; the main window registers at 12120 x 8085, the floating
// window at 8310 x 390.
const RedrawCase RedrawCases[] = {
    {"Left re-applies the left only",
     1,
     {600, 300, 1200, 255},
     MainForm,
     {900, 450, 1500, 300},
     {15000, 9000},
     {600, 450, 1500, 300}},
    {"Right keeps right distance and width",
     2,
     {10500, 120, 1215, 375},
     MainForm,
     {10500, 120, 1215, 375},
     {15000, 9000},
     {13380, 120, 1215, 375}},
    {"Right uses the current width",
     2,
     {10500, 120, 1215, 375},
     MainForm,
     {10500, 120, 2000, 375},
     {15000, 9000},
     {12595, 120, 2000, 375}},
    {"Right left never negative",
     2,
     {100, 0, 200, 100},
     {1000, 1000},
     {100, 0, 900, 100},
     {1000, 1000},
     {0, 0, 900, 100}},
    {"Top Right follows the right edge",
     6,
     {9000, 120, 1500, 255},
     MainForm,
     {9000, 120, 1500, 255},
     {13000, 9000},
     {9880, 120, 1500, 255}},
    {"history list stretches both ways",
     79,
     {120, 2400, 11880, 5565},
     MainForm,
     {120, 2400, 11880, 5565},
     {15000, 10000},
     {120, 2400, 14760, 7480}},
    {"List2 stretches horizontally",
     67,
     {120, 1800, 11880, 450},
     MainForm,
     {120, 1800, 11880, 450},
     {15000, 10000},
     {120, 1800, 14760, 450}},
    {"floating list fills its window",
     79,
     {0, 0, 8295, 390},
     {8310, 390},
     {0, 0, 8295, 390},
     {9000, 600},
     {0, 0, 8985, 600}},
    {"history list in a smaller window",
     79,
     {120, 2400, 11880, 5565},
     MainForm,
     {120, 2400, 14760, 7480},
     {6000, 4000},
     {120, 2400, 11880, 5565}},
    {"Right button in a smaller window",
     2,
     {10500, 120, 1215, 375},
     MainForm,
     {13380, 120, 1215, 375},
     {6000, 4000},
     {10500, 120, 1215, 375}},
    {"wider but lower window",
     79,
     {120, 2400, 11880, 5565},
     MainForm,
     {120, 2400, 11880, 5565},
     {15000, 4000},
     {120, 2400, 14760, 5565}},
    {"X and W scale left and width",
     80,
     {1000, 300, 500, 200},
     {5000, 4000},
     {1000, 300, 500, 200},
     {10000, 4000},
     {2000, 300, 1000, 200}},
    {"Y and D scale top and height",
     160,
     {300, 1000, 200, 500},
     {5000, 4000},
     {300, 1000, 200, 500},
     {5000, 6000},
     {300, 1500, 200, 750}},
    {"W then R places by the new width",
     66,
     {1000, 0, 500, 100},
     {5000, 4000},
     {1000, 0, 500, 100},
     {10000, 4000},
     {5500, 0, 1000, 100}},
    {"D then B places by the new height",
     136,
     {0, 1000, 100, 500},
     {5000, 4000},
     {0, 1000, 100, 500},
     {5000, 6000},
     {0, 2750, 100, 750}},
    {"T and B override D",
     140,
     {0, 1000, 100, 500},
     {5000, 4000},
     {0, 1000, 100, 500},
     {5000, 6000},
     {0, 1000, 100, 2500}},
    {"L overrides X",
     17,
     {1000, 300, 500, 200},
     {5000, 4000},
     {1700, 300, 500, 200},
     {10000, 4000},
     {1000, 300, 500, 200}},
    {"X and W on a form registered with no width",
     80,
     {1000, 300, 500, 200},
     {0, 0},
     {1000, 300, 500, 200},
     {10000, 4000},
     {1000, 300, 500, 200}},
};

TEST(ApplyLayout, PlacesEachControlByItsStyle) {
    for (const auto& c : RedrawCases) {
        SCOPED_TRACE(c.name);
        const clsControl record = MakeControl(c.registered, c.base, c.style, 0);
        EXPECT_EQ(ApplyLayout(record, c.current, c.base, c.now), c.expected);
    }
}

TEST(ApplyLayout, StretchedLengthsNeverGoNegative) {
    clsControl record;
    record.style = 15;
    record.LeftIndent = 5000;
    record.RightIndent = 6000;
    record.TopIndent = 3000;
    record.BottomIndent = 4000;
    const ControlGeometry laidOut =
        ApplyLayout(record, {5000, 3000, 10, 10}, {10000, 6000}, {10000, 6000});
    EXPECT_EQ(laidOut, (ControlGeometry{5000, 3000, 0, 0}));
}

TEST(ApplyLayout, RepeatedResizesDoNotAccumulateRounding) {
    const FormSize base{5000, 4000};
    const ControlGeometry registered{1000, 1000, 500, 700};
    const clsControl record = MakeControl(registered, base, 16 | 32 | 64 | 128, 0);
    ControlGeometry g = registered;
    for (const FormSize now : {FormSize{7777, 5003}, FormSize{5001, 9999}, FormSize{12345, 4001},
                               FormSize{6661, 7013}}) {
        g = ApplyLayout(record, g, base, now);
    }
    EXPECT_EQ(ApplyLayout(record, g, base, {10000, 8000}),
              (ControlGeometry{2000, 2000, 1000, 1400}));
    EXPECT_EQ(ApplyLayout(record, g, base, base), registered);
}

TEST(TwipsToPixels, RoundsToTheNearestPixel) {
    constexpr std::int32_t twips[] = {0, 7, 8, 15, 22, 23, -7, -8, 12120, Int32Min};
    constexpr int pixels[] = {0, 0, 1, 1, 1, 2, 0, -1, 808, -143165577};
    for (std::size_t i = 0; i < std::size(twips); ++i) {
        SCOPED_TRACE(twips[i]);
        EXPECT_EQ(TagLayout::TwipsToPixels(twips[i]), pixels[i]);
    }
}

} // namespace
