#include "layout_arithmetic.h"

#include "style_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TagLayout {
namespace {

constexpr auto Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr auto Int32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t Saturate(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, Int32Min, Int32Max));
}

std::int32_t RoundToTwip(double value) {
    const double clamped = std::clamp<double>(value, Int32Min, Int32Max);
    return static_cast<std::int32_t>(std::llround(clamped));
}

// One direction of the layout: horizontal (left, width) or vertical (top, height).
struct AxisBits {
    std::int32_t keepNear;    // L or T
    std::int32_t keepFar;     // R or B
    std::int32_t scaleNear;   // X or Y
    std::int32_t scaleLength; // W or D
};

struct AxisRecord {
    std::int32_t nearIndent;
    std::int32_t farIndent;
    std::int32_t length;
};

void LayAxis(std::int32_t style, AxisBits bits, AxisRecord record, std::int32_t now,
             std::int32_t base, std::int32_t& position, std::int32_t& length) {
    const bool keepNear = (style & bits.keepNear) != 0;
    const bool keepFar = (style & bits.keepFar) != 0;
    if (keepNear) {
        position = record.nearIndent;
    } else if ((style & bits.scaleNear) != 0) {
        position = ScaleLength(record.nearIndent, now, base);
    }
    if (keepNear && keepFar) {
        length = NotNegative(
            Saturate(std::int64_t{now} - record.farIndent - std::int64_t{record.nearIndent}));
        return;
    }
    if ((style & bits.scaleLength) != 0) {
        length = ScaleLength(record.length, now, base);
    }
    if (keepFar) {
        position =
            NotNegative(Saturate(std::int64_t{now} - record.farIndent - std::int64_t{length}));
    }
}

} // namespace

std::int32_t NotNegative(std::int32_t value) {
    return value < 0 ? 0 : value;
}

clsControl MakeControl(ControlGeometry control, FormSize form, std::int32_t style,
                       std::size_t ctrl) {
    clsControl record;
    record.style = style;
    record.ctrl = ctrl;
    record.LeftIndent = control.Left;
    record.TopIndent = control.Top;
    record.RightIndent =
        Saturate(std::int64_t{form.Width} - (std::int64_t{control.Left} + control.Width));
    record.BottomIndent =
        Saturate(std::int64_t{form.Height} - (std::int64_t{control.Top} + control.Height));
    record.Width = control.Width;
    record.Height = control.Height;
    return record;
}

std::int32_t ScaleLength(std::int32_t length, std::int32_t now, std::int32_t base) {
    if (base <= 0) {
        return length;
    }
    const auto product = std::int64_t{length} * now;
    return RoundToTwip(static_cast<double>(product) / base);
}

ControlGeometry ApplyLayout(const clsControl& record, ControlGeometry current, FormSize base,
                            FormSize now) {
    const std::int32_t width = std::max(now.Width, base.Width);
    const std::int32_t height = std::max(now.Height, base.Height);
    LayAxis(record.style, {KeepLeft, KeepRight, ScaleLeft, ScaleWidth},
            {record.LeftIndent, record.RightIndent, record.Width}, width, base.Width, current.Left,
            current.Width);
    LayAxis(record.style, {KeepTop, KeepBottom, ScaleTop, ScaleHeight},
            {record.TopIndent, record.BottomIndent, record.Height}, height, base.Height,
            current.Top, current.Height);
    return current;
}

} // namespace TagLayout
