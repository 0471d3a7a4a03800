#include "history_display_text.h"

namespace {

bool isControl(unsigned char code) {
    return code < 0x20 || code == 0x7F;
}

} // namespace

QString HistoryDisplayText(std::string_view line) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(line.size()));
    for (char c : line) {
        const auto code = static_cast<unsigned char>(c);
        if (isControl(code)) {
            text += QLatin1Char('<');
            text += QLatin1Char(kHexDigits[code >> 4]);
            text += QLatin1Char(kHexDigits[code & 0x0F]);
            text += QLatin1Char('>');
        } else {
            text += QChar(static_cast<char16_t>(code));
        }
    }
    return text;
}
