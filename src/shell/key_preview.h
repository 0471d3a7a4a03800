#pragma once
// Sees the main window's keys before the focused control does, so that a key
// means what the keyboard table says and nothing else. The rule itself is
// DecideKeyPress (key_rule.h); this gathers its facts and carries it out:
// - the character shortcuts (space, x, y, z, c) go to Form_KeyPress unless
//   the focus is in a text box, and only for the first press of a held key
//   (a repeat Qt did not mark as one is known by its time stamp);
// - Space never presses a push button, and toggles a check box or option
//   only when the operator moved to it with Tab, once per press; there it
//   is the box's alone and does not clear the history;
// - Enter presses the button the focus frame is on (one the operator moved
//   to with Tab, also after a trip into the menu bar), else the window's
//   default button (Open Port or Close Port); its repeats, and Enter with
//   Ctrl, Alt or Shift, do nothing. The focus frame shows on no other
//   button, so Enter does what the screen shows;
// - while the menu bar has the keyboard (a tap of Alt, a mnemonic) every
//   key is the menu's, the window's shortcuts included;
// - a held shortcut (F1, Ctrl+S...) acts once: its repeats go nowhere.
// Buttons, check boxes and options take the focus only by Tab (see
// control_factory.cpp), so a mouse click never leaves a key able to repeat
// or undo it.

#include "key_rule.h"

#include <QObject>
#include <QPointer>

class Main_frm;
class QAbstractButton;
class QKeyEvent;

class KeyPreview : public QObject {
    Q_OBJECT
public:
    explicit KeyPreview(Main_frm* window);

    static bool isTextInput(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inWindow(const QObject* watched) const;
    KeyFacts factsOf(QWidget* focus, const QKeyEvent& key) const;
    bool repeatedWithoutMark(const QKeyEvent& key) const;
    bool keyPress(QWidget* focus, const QKeyEvent& key);
    void pressDefaultButton();
    void hideFocusFrame();
    bool isShortcut(const QKeyEvent& key) const;

    Main_frm* window_;
    // The button the operator moved to with Tab, while it keeps the focus.
    QPointer<QAbstractButton> tabbedTo_;
    bool lastKeyWasTab_ = false;
    // A held shortcut key whose repeat's press is to go nowhere.
    int heldShortcut_ = 0;
    // The key last let go, if nothing has been pressed since.
    struct Release {
        int key = 0;
        quint32 scanCode = 0;
        quint64 time = 0;
    } lastRelease_;
};
