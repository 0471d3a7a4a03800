#include "style_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

namespace {

struct TagCase {
    std::string_view tag;
    std::int32_t style;
};

// The design-time tags of the console's windows, and the letter rules.
constexpr TagCase TagCases[] = {
    {"Left", 1},
    {"Right", 2},
    {"Top Right", 6},
    {"Top Right fixedRight", 6},
    {"100 Left varWidth varVertical fixRight", 79},
    {"Left varWidth fixRight", 67},
    {"varWidth varVertical Top Bottom Left Right", 79},
    {"", 0},
    {"left right top bottom 100", 0},
    {"LRN", 0},
    {"NLR", 3},
    {"LRNT", 4},
    {"H", 3},
    {"V", 12},
    {"F", 15},
    {"XYWD", 240},
    {"LLLL", 1},
    {"\xC3\x84L", 1}, // a non-ASCII letter before the L is ignored
};

TEST(ParseStyle, GivesTheStyleOfEachTag) {
    for (const auto& c : TagCases) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(TagLayout::ParseStyle(c.tag), c.style);
    }
}

} // namespace
