#pragma once
// How a history line is drawn. The reference run line holds control codes
// (2, 4 and the axis codes 0 to 3) that a list would otherwise draw as
// nothing or as boxes; each is shown as its Unicode control picture instead
// (code 2 as U+2402 "STX", 4 as U+2404 "EOT", 1 as U+2401, ...; DEL as
// U+2421). Every other byte is its Latin-1 character. This is display only:
// the history keeps and saves the real bytes.

#include <QString>
#include <string_view>

QString HistoryDisplayText(std::string_view line);
