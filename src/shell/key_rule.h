#pragma once
// What a key does in the main window, decided once from plain facts about
// the key and where the focus is, so that every combination can be tried
// without a window. The key preview gathers the facts and carries the
// decision out.

enum class KeyKind { Enter, Space, Tab, Arrow, Character, Other };
enum class FocusKind { TextBox, PushButton, Choice, MenuBar, Other };

struct KeyFacts {
    KeyKind kind = KeyKind::Other;
    // One of the presses a held key repeats (the keyboard's auto-repeat).
    bool autoRepeat = false;
    bool ctrlOrAlt = false;
    // Any modifier at all besides the keypad's.
    bool anyModifier = false;
    FocusKind focus = FocusKind::Other;
    // The focused button (push button, check box or option) was reached
    // with Tab, and no mouse button has been pressed since: it is the one
    // that shows the focus frame.
    bool focusReachedByTab = false;
};

enum class EnterAction { None, PressDefaultButton, PressFocusedButton };

struct KeyDecision {
    // The key's character goes to the keyboard table (Form_KeyPress).
    bool toKeyboardTable = false;
    EnterAction enter = EnterAction::None;
    // The focused control does not get the key.
    bool swallow = false;
};

KeyDecision DecideKeyPress(const KeyFacts& key);
// A release is the focused control's only where its press was.
bool SwallowKeyRelease(const KeyFacts& key);
