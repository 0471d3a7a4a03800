#pragma once
// The accessible interface of a marked reading (accessible_reading.h): its
// name is the reading, its value the state, its description a lamp's colour,
// and its text (the interface screen readers read from) the reading again.

class QWidget;

namespace accessible {

// Makes the next question for the widget's accessible interface get the
// reading's, whatever Qt made for it before it was marked.
void UseReadingInterface(QWidget* widget);

} // namespace accessible
