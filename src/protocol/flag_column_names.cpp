#include "flag_column_names.h"

namespace {

constexpr const char* kSwitchNames[8] = {"end_x",     "end_y", "end_z", "end_c",
                                         "emergency", "bit5",  "bit6",  "bit7"};
constexpr const char* kStatusAuxNames[8] = {"bit0",    "bit1",    "bit2",  "bit3",
                                            "spindle", "cooling", "sleep", "boost"};
constexpr const char* kSignalNames[8] = {"spindle", "cooling", "bit2", "bit3",
                                         "bit4",    "bit5",    "bit6", "bit7"};

std::string Joined(std::uint8_t flags, const char* const (&names)[8]) {
    std::string joined;
    for (int bit = 0; bit < 8; ++bit) {
        if ((flags >> bit) & 1) {
            joined += (joined.empty() ? "" : "+") + std::string(names[bit]);
        }
    }
    return joined;
}

} // namespace

const char* StatusSwitchColumnName(int bit) {
    return kSwitchNames[bit & 7];
}
const char* StatusAuxiliaryColumnName(int bit) {
    return kStatusAuxNames[bit & 7];
}
const char* SignalColumnName(int bit) {
    return kSignalNames[bit & 7];
}

std::string StatusSwitchColumnNames(std::uint8_t flags) {
    return Joined(flags, kSwitchNames);
}
std::string StatusAuxiliaryColumnNames(std::uint8_t flags) {
    return Joined(flags, kStatusAuxNames);
}
std::string SignalColumnNames(std::uint8_t bits) {
    return Joined(bits, kSignalNames);
}
