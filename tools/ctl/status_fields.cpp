#include "status_fields.h"

#include <algorithm>

namespace {

// Bits of the switch byte (end switches, emergency) and the auxiliary byte.
struct BitField {
    const char* name;
    bool switchByte;
    int bit;
};
constexpr BitField kBits[] = {
    {"end_x", true, 0},    {"end_y", true, 1},     {"end_z", true, 2},
    {"end_c", true, 3},    {"emergency", true, 4}, {"spindle", false, 4},
    {"cooling", false, 5}, {"sleep", false, 6},    {"boost", false, 7},
};

} // namespace

const std::vector<std::string>& StatusFieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all{"x", "y", "z", "c", "mode", "fill", "error", "counter"};
        for (const BitField& bit : kBits) {
            all.emplace_back(bit.name);
        }
        return all;
    }();
    return names;
}

bool IsStatusBit(const std::string& name) {
    return std::any_of(std::begin(kBits), std::end(kBits),
                       [&](const BitField& bit) { return name == bit.name; });
}

double StatusField(const StatusReport& status, const std::string& name) {
    const std::pair<const char*, double> numbers[] = {
        {"x", status.positionX},     {"y", status.positionY},         {"z", status.positionZ},
        {"c", status.positionC},     {"mode", status.mode},           {"fill", status.fillLevel},
        {"error", status.errorCode}, {"counter", status.frameCounter}};
    for (const auto& [field, value] : numbers) {
        if (name == field) {
            return value;
        }
    }
    for (const BitField& bit : kBits) {
        if (name == bit.name) {
            const std::uint8_t flags = bit.switchByte ? status.switchFlags : status.auxiliaryFlags;
            return (flags >> bit.bit) & 1U;
        }
    }
    return 0.0;
}
