#include "history_display_text.h"

QString HistoryDisplayText(std::string_view line) {
    constexpr char16_t kControlPictures = 0x2400;
    constexpr char16_t kDeletePicture = 0x2421;
    QString text(static_cast<qsizetype>(line.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (char c : line) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20) {
            *out++ = QChar(static_cast<char16_t>(kControlPictures + code));
        } else if (code == 0x7F) {
            *out++ = QChar(kDeletePicture);
        } else {
            *out++ = QChar(static_cast<char16_t>(code));
        }
    }
    return text;
}
