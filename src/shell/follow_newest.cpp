#include "follow_newest.h"

#include <QListView>
#include <QScrollBar>
#include <QTimerEvent>

FollowNewest* FollowNewest::install(QListView* view) {
    return new FollowNewest(view);
}

FollowNewest::FollowNewest(QListView* view) : QObject(view), view_(view) {
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &FollowNewest::beforeInsert);
    connect(model, &QAbstractItemModel::rowsInserted, this, &FollowNewest::afterInsert);
    // The range also changes without a line being added: the first line too
    // wide for the list brings the horizontal bar, and the rows shown shrink
    // by one. A list that was at the bottom stays there.
    QScrollBar* bar = view->verticalScrollBar();
    lastValue_ = bar->value();
    lastMaximum_ = bar->maximum();
    connect(bar, &QScrollBar::valueChanged, this, [this](int value) { lastValue_ = value; });
    connect(bar, &QScrollBar::rangeChanged, this,
            [this](int, int maximum) { rangeChanged(maximum); });
}

void FollowNewest::rangeChanged(int maximum) {
    const bool wasAtBottom = lastValue_ >= lastMaximum_;
    lastMaximum_ = maximum;
    lastValue_ = view_->verticalScrollBar()->value();
    if (wasAtBottom && maximum > lastValue_ && !scroll_.isActive()) {
        scroll_.start(0, this);
    }
}

void FollowNewest::beforeInsert() {
    if (scroll_.isActive()) {
        return; // still following from the previous line
    }
    const QScrollBar* bar = view_->verticalScrollBar();
    follow_ = bar->value() >= bar->maximum();
}

void FollowNewest::afterInsert() {
    if (!follow_ || scroll_.isActive()) {
        return;
    }
    // Lines can arrive thousands of times a second; scroll once per turn of
    // the event loop, not once per line. A zero timer rather than a posted
    // call: posting wakes the event loop through a system call each time.
    scroll_.start(0, this);
}

void FollowNewest::timerEvent(QTimerEvent* event) {
    if (event->timerId() != scroll_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    scroll_.stop();
    view_->scrollToBottom();
}
