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
