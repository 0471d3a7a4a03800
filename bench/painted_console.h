#pragma once
// The real main window, with one thing added for measuring: it reports when
// a pass of painting (the backing store brought up to date, as every
// repaint() and every deferred update ends in) has finished. Nothing of the
// console's own behaviour is changed.

#include "main_frm.h"

#include <QEvent>
#include <functional>

namespace bench {

class PaintedConsole : public Main_frm {
public:
    std::function<void()> afterPaintPass;

protected:
    bool event(QEvent* event) override {
        const bool paintPass = event->type() == QEvent::UpdateRequest;
        const bool handled = Main_frm::event(event);
        if (paintPass && afterPaintPass) {
            afterPaintPass();
        }
        return handled;
    }
};

} // namespace bench
