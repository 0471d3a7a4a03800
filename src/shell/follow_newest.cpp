#include "follow_newest.h"

#include <QListView>
#include <QScrollBar>
#include <QTimer>

FollowNewest* FollowNewest::install(QListView* view) {
    return new FollowNewest(view);
}

FollowNewest::FollowNewest(QListView* view) : QObject(view), view_(view) {
    QAbstractItemModel* model = view->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &FollowNewest::beforeInsert);
    connect(model, &QAbstractItemModel::rowsInserted, this, &FollowNewest::afterInsert);
}

void FollowNewest::beforeInsert() {
    if (scrollPending_) {
        return; // still following from the previous line
    }
    const QScrollBar* bar = view_->verticalScrollBar();
    follow_ = bar->value() >= bar->maximum();
}

void FollowNewest::afterInsert() {
    if (!follow_ || scrollPending_) {
        return;
    }
    // Lines can arrive thousands of times a second; scroll once per turn of
    // the event loop, not once per line.
    scrollPending_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollPending_ = false;
        view_->scrollToBottom();
    });
}
