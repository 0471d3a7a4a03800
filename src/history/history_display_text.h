#pragma once
// How a history line is drawn. The reference run line holds control codes
// (2, 4 and the axis codes 0 to 3) that a list would otherwise draw as
// nothing or as boxes; each is shown as its two hex digits in angle brackets
// instead, so the start-up order reads "<02>1<04>". Unicode's control
// pictures were the other candidate, but few fonts draw them (none of the
// fonts a plain Debian desktop has), and the brackets survive copy and print
// to any program. Every other byte is its Latin-1 character. This is display
// only: the history keeps and saves the real bytes.

#include <QString>
#include <string_view>

QString HistoryDisplayText(std::string_view line);
