#pragma once
// The worked status frame: mode 2, positions 10000, -50, 0 and 256, the
// buffer at 50 %, error code 0, frame counter 7; Emergency, End X, Boost and
// Spindle set, every other lamp bit clear.

#include <QByteArray>

inline QByteArray WorkedStatusFrame() {
    return QByteArray::fromHex("02 11 90 10 27 00 00 CE FF FF FF 00 00 00 00 00 "
                               "01 00 00 00 32 00 00 00 00 00 00 07 00 00 00 00");
}
