#include "command_frames.h"

#include "type_casting.h"

namespace {

using TypeCasting::ByteToHex;
using TypeCasting::LongToHex;

constexpr std::uint8_t kStart = 0x02;
constexpr std::uint8_t kZeroPointCommand = 0x41;
constexpr std::uint8_t kAuxiliarySignalsCommand = 0x21;
constexpr std::uint8_t kModeChangeStart = 0x00;
constexpr std::uint8_t kModeChangeCommand = 0x01;
constexpr std::uint8_t kReferenceRunCommand = 0x31;
constexpr std::uint8_t kReferenceRunConstant = 0x04;
constexpr std::uint8_t kSpindleBit = 0x01;
constexpr std::uint8_t kCoolingBit = 0x02;

std::string UnitsByte(Units units) {
    return ByteToHex(units == Units::Steps ? 0x01 : 0x00);
}

std::string PaddedToFrame(std::string hexText) {
    hexText.resize(kCommandHexLength, '0');
    return hexText;
}

// Appends one numeric box after another to a frame's hex text and keeps the
// first box that did not convert; later boxes are then left unread.
class FieldWriter {
public:
    FieldWriter(Units units, char decimalSeparator)
        : units_(units), decimalSeparator_(decimalSeparator) {}

    void appendHex(const std::string& hex) { hexText_ += hex; }

    // A coordinate-like value: 32-bit integer in steps, single in millimetres.
    void appendValue(const std::string& text, const std::string& control,
                     const std::string& label) {
        if (error_) {
            return;
        }
        if (units_ == Units::Steps) {
            const Conversion<std::int32_t> value = ToInt32(text, decimalSeparator_);
            take(value, control, label, [&] { return LongToHex(value.value); });
        } else {
            const Conversion<float> value = ToSingle(text, decimalSeparator_);
            take(value, control, label, [&] { return myfloathex(value.value); });
        }
    }

    void appendByte(const std::string& text, const std::string& control, const std::string& label) {
        if (error_) {
            return;
        }
        const Conversion<std::uint8_t> value = ToByte(text, decimalSeparator_);
        take(value, control, label, [&] { return ByteToHex(value.value); });
    }

    BuiltFrame finish() {
        BuiltFrame frame;
        if (error_) {
            frame.error = std::move(error_);
        } else {
            frame.hexText = PaddedToFrame(std::move(hexText_));
        }
        return frame;
    }

private:
    template <typename T, typename Encode>
    void take(const Conversion<T>& value, const std::string& control, const std::string& label,
              Encode encode) {
        if (value.ok()) {
            hexText_ += encode();
        } else {
            error_ = InputError{control, label, *value.error};
        }
    }

    Units units_;
    char decimalSeparator_;
    std::string hexText_;
    std::optional<InputError> error_;
};

} // namespace

std::uint8_t GetRampenbits(const std::array<bool, 8>& rampChecked) {
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < rampChecked.size(); ++i) {
        if (rampChecked[i]) {
            bits = static_cast<std::uint8_t>(bits | (1u << i));
        }
    }
    return bits;
}

BuiltFrame BuildMoveFrame(const MoveSetup& setup, AxisPair pair, std::uint8_t frameCounter,
                          char decimalSeparator) {
    FieldWriter writer(setup.units, decimalSeparator);
    writer.appendHex(ByteToHex(kStart));
    writer.appendHex(ByteToHex(static_cast<std::uint8_t>(pair)));
    writer.appendValue(setup.v_end, "v_end", "V - end");
    writer.appendByte(setup.num_coord, "num_coord", "Number of Coordinates");
    writer.appendHex(UnitsByte(setup.units));
    for (std::size_t row = 0; row < setup.x_z.size(); ++row) {
        const std::string number = std::to_string(row + 1);
        writer.appendValue(setup.x_z[row], "x_z_" + number, "X / Z " + number);
        writer.appendValue(setup.y_c[row], "y_c_" + number, "Y / C " + number);
    }
    writer.appendHex(ByteToHex(GetRampenbits(setup.rampChecked)));
    writer.appendHex(ByteToHex(0) + ByteToHex(0) + ByteToHex(frameCounter));
    writer.appendHex(ByteToHex(0) + ByteToHex(0) + ByteToHex(0) + ByteToHex(0));
    return writer.finish();
}

BuiltFrame BuildZeroPointFrame(Units units, const std::array<std::string, 4>& values,
                               char decimalSeparator) {
    static const char* const kAxisLetters[] = {"x", "y", "z", "c"};
    FieldWriter writer(units, decimalSeparator);
    writer.appendHex(ByteToHex(kStart));
    writer.appendHex(ByteToHex(kZeroPointCommand));
    for (int i = 0; i < 5; ++i) {
        writer.appendHex(ByteToHex(0));
    }
    writer.appendHex(UnitsByte(units));
    for (std::size_t axis = 0; axis < values.size(); ++axis) {
        const std::string letter = kAxisLetters[axis];
        writer.appendValue(values[axis], "Null_" + letter, "Zero " + letter);
    }
    return writer.finish();
}

std::string BuildAuxiliarySignalsFrame(bool spindle, bool cooling) {
    std::uint8_t signals = 0;
    if (spindle) {
        signals |= kSpindleBit;
    }
    if (cooling) {
        signals |= kCoolingBit;
    }
    return PaddedToFrame(ByteToHex(kStart) + ByteToHex(kAuxiliarySignalsCommand) +
                         ByteToHex(signals));
}

std::string BuildModeChangeFrame(bool toMode1) {
    return PaddedToFrame(ByteToHex(kModeChangeStart) + ByteToHex(kModeChangeCommand) +
                         ByteToHex(toMode1 ? 1 : 2));
}

std::string BuildStatusRequestFrame(std::uint8_t frameCounter) {
    std::string hexText(kCommandHexLength, '0');
    hexText.replace(2 * kFrameCounterOffset, 2, ByteToHex(frameCounter));
    return hexText;
}

std::string BuildReferenceRunFrame(const std::array<Axis, 4>& order) {
    std::string frame;
    frame.reserve(kCommandFrameSize);
    frame += static_cast<char>(kStart);
    frame += static_cast<char>(kReferenceRunCommand);
    frame += static_cast<char>(kReferenceRunConstant);
    for (Axis axis : order) {
        frame += static_cast<char>(axis);
    }
    frame.resize(kCommandFrameSize, '\0');
    return frame;
}

std::string ReferenceRunLogLine(std::string_view frameText) {
    return std::string(frameText.substr(0, frameText.find('\0')));
}
