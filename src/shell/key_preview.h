#pragma once
// Sees the main window's keys before the focused control does:
// - the character shortcuts (space, x, y, z, c) go to Form_KeyPress unless
//   the focus is in a text box, so typing a value never moves the machine or
//   clears the history; the key then continues to the control as usual;
// - Enter presses the window's default button, as in a dialog, unless the
//   focus is on a push button, which takes Enter for itself.

#include <QObject>

class Main_frm;

class KeyPreview : public QObject {
    Q_OBJECT
public:
    explicit KeyPreview(Main_frm* window);

    static bool isTextInput(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Main_frm* window_;
};
