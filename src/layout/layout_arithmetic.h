#pragma once
// The resize arithmetic of the tag-driven layout, free of any widget toolkit.
// All lengths are twips; a control's Left/Top are relative to its container.

#include "clsControl.h"

#include <cstddef>
#include <cstdint>

namespace TagLayout {

struct ControlGeometry {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};

inline bool operator==(const ControlGeometry& a, const ControlGeometry& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
}

struct FormSize {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};

// 0 for a negative value, else the value.
std::int32_t NotNegative(std::int32_t value);

// The record of a control standing at `control` on a form of size `form`.
// Differences that leave the 32-bit range are saturated.
clsControl MakeControl(ControlGeometry control, FormSize form, std::int32_t style,
                       std::size_t ctrl);

// length * now / base to the nearest twip, halves away from zero. The product
// is taken in 64 bits: in 32 bits a left of 40000 twips on a 57600-twip (4K)
// wide form would already overflow. A base of 0 or less has no proportion to
// scale by, so the length stays as registered.
std::int32_t ScaleLength(std::int32_t length, std::int32_t now, std::int32_t base);

// Where the control of `record` goes on a form now of size `now`, registered
// at `base`. A form smaller than `base` counts as `base`, so controls never
// move from their registration places when the form shrinks below it.
// Proportions are taken from the registration values, never from `current`,
// so repeated resizes do not accumulate rounding. Properties the record's
// style does not touch keep their value from `current`; a kept right (bottom)
// distance without a proportional width (height) uses the current width
// (height).
ControlGeometry ApplyLayout(const clsControl& record, ControlGeometry current, FormSize base,
                            FormSize now);

} // namespace TagLayout
