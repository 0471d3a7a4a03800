#pragma once
// The progress bar of the controller's buffer fill level. Its text is not
// shown (the percentage stands beside it), yet QProgressBar formats it
// through the locale on every value it is given, to decide whether to
// repaint; status frames give it a value hundreds of times a second.

#include <QProgressBar>

class FillLevelBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    QString text() const override { return isTextVisible() ? QProgressBar::text() : QString(); }
};
