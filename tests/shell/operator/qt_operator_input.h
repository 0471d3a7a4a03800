#pragma once
// The operator's hands inside the process: mouse and key events enter through
// Qt's window system interface, as the platform plugin hands them on, so the
// focus policy, the menu bar's Alt key and the shortcut map act on them as
// on a person's. A held key becomes the press, the auto-repeated release and
// press pairs an X server sends (about 30 a second after a quarter second),
// and one release; no real time passes.

#include "operator_input.h"

#include <QElapsedTimer>

#include <map>

class QtOperatorInput : public OperatorInput {
public:
    void click(QWidget* widget, QPoint at) override;
    void doubleClick(QWidget* widget, QPoint at) override;
    void tap(const OperatorKey& key) override;
    void hold(const OperatorKey& key, int heldMs) override;
    void wait(int ms) override;
    bool realTime() const override { return false; }

private:
    void fingerRest(Qt::Key key);

    // When each key was last let go: the same key is not pressed again
    // within a few milliseconds, as no finger can.
    std::map<Qt::Key, QElapsedTimer> lastRelease_;
};
