#include "key_rule.h"

namespace {

// A check box or option toggles on Space and an option's group moves on
// the arrows: only for the box the operator moved to with Tab. One that
// has the focus any other way (a click, a disabled neighbour) keeps its
// state, so a key meant for the keyboard table never flips it.
bool keyChangesChoice(const KeyFacts& key) {
    return key.focus == FocusKind::Choice &&
           (key.kind == KeyKind::Space || key.kind == KeyKind::Arrow);
}

// A box the operator tabbed to changes once per press: a held key's repeats
// (those Qt did not mark as such included) never reach it.
bool choiceKeepsItsState(const KeyFacts& key) {
    return keyChangesChoice(key) && (!key.focusReachedByTab || key.autoRepeat);
}

bool swallowedByFocus(const KeyFacts& key) {
    if (key.focus == FocusKind::PushButton && key.kind == KeyKind::Space) {
        return true; // Space never presses a push button
    }
    return choiceKeepsItsState(key);
}

// Space on a box the operator tabbed to is the box's alone: a keyboard-only
// operator ticks boxes with it and must not lose the history doing so.
bool spaceTicksTheBox(const KeyFacts& key) {
    return key.kind == KeyKind::Space && key.focus == FocusKind::Choice && key.focusReachedByTab;
}

} // namespace

KeyDecision DecideKeyPress(const KeyFacts& key) {
    KeyDecision decision;
    if (key.focus == FocusKind::MenuBar) {
        return decision; // the menu bar has the keyboard: the key is the menu's
    }
    if (key.kind == KeyKind::Enter) {
        // One press, one action: a held Enter's repeats do nothing, and
        // neither does Enter held with Ctrl, Alt or Shift.
        decision.swallow = true;
        if (key.autoRepeat || key.anyModifier) {
            return decision;
        }
        decision.enter = key.focus == FocusKind::PushButton && key.focusReachedByTab
                             ? EnterAction::PressFocusedButton
                             : EnterAction::PressDefaultButton;
        return decision;
    }
    if (key.focus == FocusKind::TextBox) {
        return decision; // typing, held keys included, never acts
    }
    decision.swallow = swallowedByFocus(key);
    decision.toKeyboardTable = !key.ctrlOrAlt && !key.autoRepeat && !spaceTicksTheBox(key) &&
                               (key.kind == KeyKind::Character || key.kind == KeyKind::Space);
    return decision;
}

bool SwallowKeyRelease(const KeyFacts& key) {
    if (key.focus == FocusKind::MenuBar || key.focus == FocusKind::TextBox) {
        return false;
    }
    // A push button clicks on the release of Space (and of Enter when it is
    // a default button): the press was not its, so neither is this.
    if (key.focus == FocusKind::PushButton &&
        (key.kind == KeyKind::Space || key.kind == KeyKind::Enter)) {
        return true;
    }
    return choiceKeepsItsState(key);
}
