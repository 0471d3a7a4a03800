#pragma once
// Sees the main window's keys before the focused control does, so that a key
// means what the keyboard table says and nothing else:
// - the character shortcuts (space, x, y, z, c) go to Form_KeyPress unless
//   the focus is in a text box, so typing a value never moves the machine or
//   clears the history;
// - Space never also presses a push button (a check box or option still
//   toggles with it, which sends nothing);
// - Enter presses the window's default button (Open Port or Close Port),
//   unless the operator moved the focus to a push button with Tab on
//   purpose, which Enter then presses. Enter with Ctrl, Alt or Shift does
//   nothing.
// Push buttons take the focus only by Tab (see control_factory.cpp), so a
// mouse click never leaves a key able to repeat it.

#include <QObject>
#include <QPointer>

class Main_frm;
class QKeyEvent;
class QPushButton;

class KeyPreview : public QObject {
    Q_OBJECT
public:
    explicit KeyPreview(Main_frm* window);

    static bool isTextInput(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inWindow(const QObject* watched) const;
    bool keyPress(QWidget* focus, const QKeyEvent& key);
    bool pressEnter(QWidget* focus);

    Main_frm* window_;
    // The push button the operator moved to with Tab, while it keeps the focus.
    QPointer<QPushButton> tabbedTo_;
    bool lastKeyWasTab_ = false;
};
