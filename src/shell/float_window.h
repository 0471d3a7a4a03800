#pragma once
// "Current Datasets": a narrow always-on-top tool window repeating the
// main window's dataset list.

#include "clsLayout.h"

#include <QWidget>

class HistoryModel;
class QListView;

class Float : public QWidget {
    Q_OBJECT
public:
    explicit Float(QWidget* owner = nullptr);

    HistoryModel& model() { return *model_; }
    QListView* List1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();

    HistoryModel* model_ = nullptr;
    clsLayout layout_;
};
