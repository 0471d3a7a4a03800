#pragma once
// Rearranges a form's controls when the form is resized, following the style
// text each control carries in its dynamic property "Tag" (see style_text.h;
// a control without one stays where it is). One object per form: SetLayout
// once the controls stand at their designed places, RedrawLayout from the
// form's resize handler.

#include "clsControl.h"
#include "layout_arithmetic.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class clsLayout {
public:
    // Registers every descendant widget of `form` whose "Tag" yields a style,
    // in the form's findChildren order, and takes the form's size as the base
    // size. Widgets of other windows parented to the form (dialogs, popup
    // menus) are not its controls and are left out. Forgets any earlier
    // registration. `form` is the widget whose area holds the controls (a
    // main window's central widget, a tool window). False only for no form.
    bool SetLayout(QWidget* form);

    // Re-applies the registered layout to the form's current size, never
    // below the base size. Controls destroyed since registration are passed
    // over. False when there is nothing to lay out.
    bool RedrawLayout();

private:
    QPointer<QWidget> m_form;
    TagLayout::FormSize m_baseSize;
    std::vector<clsControl> m_records;
    std::vector<QPointer<QWidget>> m_controls; // indexed by clsControl::ctrl
};
