#include "style_text.h"

namespace TagLayout {

std::int32_t ParseStyle(std::string_view tag) {
    std::int32_t style = 0;
    for (const char letter : tag) {
        switch (letter) {
        case 'L':
            style |= KeepLeft;
            break;
        case 'R':
            style |= KeepRight;
            break;
        case 'T':
            style |= KeepTop;
            break;
        case 'B':
            style |= KeepBottom;
            break;
        case 'V':
            style |= KeepTop | KeepBottom;
            break;
        case 'H':
            style |= KeepLeft | KeepRight;
            break;
        case 'F':
            style |= KeepLeft | KeepRight | KeepTop | KeepBottom;
            break;
        case 'X':
            style |= ScaleLeft;
            break;
        case 'Y':
            style |= ScaleTop;
            break;
        case 'W':
            style |= ScaleWidth;
            break;
        case 'D':
            style |= ScaleHeight;
            break;
        case 'N':
            style = 0;
            break;
        default:
            break;
        }
    }
    return style;
}

} // namespace TagLayout
