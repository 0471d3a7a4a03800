#include "main_frm.h"

void Main_frm::Form_KeyPress(std::int16_t KeyAscii) {
    // Each comparison is made on its own, case-sensitively.
    const char16_t key = static_cast<char16_t>(KeyAscii);
    if (key == u' ') {
        Com_ClrHis_Click();
    }
    if (key == u'x') {
        com_move_xy_Click();
    }
    if (key == u'y') {
        com_move_xy_Click();
    }
    if (key == u'z') {
        com_move_zc_Click();
    }
    if (key == u'c') {
        com_move_zc_Click();
    }
}
