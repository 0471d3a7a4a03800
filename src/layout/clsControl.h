#pragma once
// What the layout remembers of one registered control. Lengths are twips.
// The indents are taken against the form's size even when the control sits
// inside a frame: its Left/Top are then frame-relative, but its distances to
// the right and bottom are measured to the form's edges.

#include <cstddef>
#include <cstdint>

struct clsControl {
    std::int32_t LeftIndent = 0;   // Left at registration
    std::int32_t RightIndent = 0;  // form width - (Left + Width) at registration
    std::int32_t TopIndent = 0;    // Top at registration
    std::int32_t BottomIndent = 0; // form height - (Top + Height) at registration
    std::int32_t Width = 0;        // Width at registration
    std::int32_t Height = 0;       // Height at registration
    std::int32_t style = 0;        // bits from the control's Tag (style_text.h)
    // Which control the record belongs to; the keeper of the records decides
    // what this indexes (clsLayout: its list of registered widgets).
    std::size_t ctrl = 0;
};
