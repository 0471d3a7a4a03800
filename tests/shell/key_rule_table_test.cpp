// The keyboard's whole rule as one table: every key kind, pressed plainly,
// as a held key's repeat, with Shift and with Ctrl or Alt, on every kind of
// focus and however the focus came there. A change to any decision shows
// here as a changed cell, to be made on purpose.
//
// A cell: T the keyboard table gets the key (x, y, z, c, Space), D Enter
// presses the default button, F Enter presses the focused button, S the
// focused control does not get the press, R nor its release; "." none.

#include "key_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// clang-format off
// Columns: each key kind plain (pl), repeated (rp), with Shift (sh), with Ctrl or Alt (ca).
//                    Enter            Space            Tab              Arrow            Character        Other
//                    pl  rp  sh  ca   pl  rp  sh  ca   pl  rp  sh  ca   pl  rp  sh  ca   pl  rp  sh  ca   pl  rp  sh  ca
const char* const kTable = R"(
text box              DS  S   S   S    .   .   .   .    .   .   .   .    .   .   .   .    .   .   .   .    .   .   .   .
push button, by Tab   FSR SR  SR  SR   TSR SR  TSR SR   .   .   .   .    .   .   .   .    T   .   T   .    .   .   .   .
push button, else     DSR SR  SR  SR   TSR SR  TSR SR   .   .   .   .    .   .   .   .    T   .   T   .    .   .   .   .
box or option, by Tab DS  S   S   S    .   SR  .   .    .   .   .   .    .   SR  .   .    T   .   T   .    .   .   .   .
box or option, else   DS  S   S   S    TSR SR  TSR SR   .   .   .   .    SR  SR  SR  SR   T   .   T   .    .   .   .   .
menu bar              .   .   .   .    .   .   .   .    .   .   .   .    .   .   .   .    .   .   .   .    .   .   .   .
anything else         DS  S   S   S    T   .   T   .    .   .   .   .    .   .   .   .    T   .   T   .    .   .   .   .
)";
// clang-format on

std::string Cell(const KeyFacts& key) {
    const KeyDecision decision = DecideKeyPress(key);
    std::string cell;
    cell += decision.toKeyboardTable ? "T" : "";
    cell += decision.enter == EnterAction::PressDefaultButton   ? "D"
            : decision.enter == EnterAction::PressFocusedButton ? "F"
                                                                : "";
    cell += decision.swallow ? "S" : "";
    cell += SwallowKeyRelease(key) ? "R" : "";
    return cell.empty() ? "." : cell;
}

TEST(KeyRule, EveryKeyOnEveryFocus) {
    struct Focus {
        const char* name;
        FocusKind kind;
        bool byTab;
    };
    const Focus foci[] = {{"text box", FocusKind::TextBox, false},
                          {"push button, by Tab", FocusKind::PushButton, true},
                          {"push button, else", FocusKind::PushButton, false},
                          {"box or option, by Tab", FocusKind::Choice, true},
                          {"box or option, else", FocusKind::Choice, false},
                          {"menu bar", FocusKind::MenuBar, false},
                          {"anything else", FocusKind::Other, false}};
    const KeyKind kinds[] = {KeyKind::Enter, KeyKind::Space,     KeyKind::Tab,
                             KeyKind::Arrow, KeyKind::Character, KeyKind::Other};
    std::string table = "\n";
    for (const Focus& focus : foci) {
        std::string row = focus.name;
        row.resize(22, ' ');
        for (const KeyKind kind : kinds) {
            for (int variant = 0; variant < 4; ++variant) {
                KeyFacts key;
                key.kind = kind;
                key.focus = focus.kind;
                key.focusReachedByTab = focus.byTab;
                key.autoRepeat = variant == 1;
                key.anyModifier = variant >= 2;
                key.ctrlOrAlt = variant == 3;
                std::string cell = Cell(key);
                cell.resize(4, ' ');
                row += cell;
            }
            row += " ";
        }
        table += row.substr(0, row.find_last_not_of(' ') + 1) + "\n";
    }
    EXPECT_EQ(table, kTable) << table;
}

} // namespace
