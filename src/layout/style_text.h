#pragma once
// The style value a control's Tag text stands for. Only the capital letters
// of the table below count, so a designer writes readable words ("Left
// varWidth fixRight") and the capitals carry the meaning.

#include <cstdint>
#include <string_view>

namespace TagLayout {

// Bits of a style value.
constexpr std::int32_t KeepLeft = 1;      // L
constexpr std::int32_t KeepRight = 2;     // R
constexpr std::int32_t KeepTop = 4;       // T
constexpr std::int32_t KeepBottom = 8;    // B
constexpr std::int32_t ScaleLeft = 16;    // X: left proportional to the form's width
constexpr std::int32_t ScaleTop = 32;     // Y: top proportional to the form's height
constexpr std::int32_t ScaleWidth = 64;   // W: width proportional to the form's width
constexpr std::int32_t ScaleHeight = 128; // D: height proportional to the form's height

// Letters L R T B X Y W D add their bit, V adds T+B, H adds L+R, F adds all
// four Keep bits, N forgets everything read before it. Case-sensitive; every
// other character (also each byte of a non-ASCII character) is ignored.
// 0 means "not laid out".
std::int32_t ParseStyle(std::string_view tag);

} // namespace TagLayout
