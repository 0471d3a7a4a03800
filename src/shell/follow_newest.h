#pragma once
// Keeps a list showing its newest line while the operator is at the bottom,
// and leaves it where it is while the operator has scrolled up to read.

#include <QBasicTimer>
#include <QObject>

class QListView;

class FollowNewest : public QObject {
    Q_OBJECT
public:
    // Watches `view` and its model (set the model first); owned by the view.
    static FollowNewest* install(QListView* view);

private:
    explicit FollowNewest(QListView* view);
    void beforeInsert();
    void afterInsert();
    void rangeChanged(int maximum);
    void timerEvent(QTimerEvent* event) override;

    QListView* view_;
    bool follow_ = true;
    QBasicTimer scroll_; // active while a scroll to the bottom is due
    // The bar as last seen, to tell whether it was at the bottom before its
    // range changed.
    int lastValue_ = 0;
    int lastMaximum_ = 0;
};
