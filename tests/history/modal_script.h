#pragma once
// Drives a modal dialog from inside its own event loop: `step` runs once the
// active modal widget is a T. Tests use it to answer dialogs that the code
// under test opens and waits on.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

template <typename T> void WhenModal(std::function<void(T*)> step, int triesLeft = 300) {
    QTimer::singleShot(10, [step, triesLeft] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            step(widget);
        } else if (triesLeft > 0) {
            WhenModal<T>(step, triesLeft - 1);
        }
    });
}
