#pragma once
// The worked examples of the frame layouts, held once for every test that
// needs them: the builders must produce them, the status decoder and the
// line decoder must read them back to their documented values.

#include <cstddef>
#include <string>

namespace worked {

// Block text (one character per byte) from a list of codes.
inline std::string Codes(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) {
        text += static_cast<char>(code);
    }
    return text;
}

// Hex digits written with blanks for reading, without them.
inline std::string Digits(const std::string& spaced) {
    std::string hex;
    for (char c : spaced) {
        if (c != ' ') {
            hex += c;
        }
    }
    return hex;
}

// The first "Drive X / Y" after start: steps, v_end 0, four points on the
// 100-step square around the origin, no ramp bit, counter 0.
inline const std::string kMoveFrameHex = Digits("02 11 00 00 00 00 04 01"
                                                "32 00 00 00 32 00 00 00 CE FF FF FF 32 00 00 00"
                                                "CE FF FF FF CE FF FF FF 32 00 00 00 CE FF FF FF"
                                                "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                                "00 00 00 00 00 00 00 00");

// Mode 2; End X and Emergency set (11); Spindle and Boost set (90);
// positions 10000, -50, 0, 256; buffer 50 %; error code 0; frame counter 7.
inline const std::string kStatusFrame =
    Codes({0x02, 0x11, 0x90, 0x10, 0x27, 0x00, 0x00, 0xCE, 0xFF, 0xFF, 0xFF,
           0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x32, 0x00,
           0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00});

// That frame's history line, received 250 ms after the previous block.
inline const std::string kStatusLine =
    "IN < 0211 9010 2700 00CE FFFF FF00 0000 0000 0100 0000 3200 0000 0000 0007 "
    "0000 0000  t- 250";

} // namespace worked
