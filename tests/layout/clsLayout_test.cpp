#include "clsLayout.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRect>
#include <QtTest>

#include <memory>

namespace {

// A form of 808 x 539 pixels (12120 x 8085 twips) shaped like the console's
// main window: the history list, a port button and a port label on the
// right, an untagged label, and a frame holding a left-tagged status label
// and a right-tagged button.
struct TestForm {
    QWidget form;
    QWidget* history = nullptr;
    QWidget* portButton = nullptr;
    QWidget* portLabel = nullptr;
    QWidget* untagged = nullptr;
    QWidget* frameLabel = nullptr;
    QWidget* frameButton = nullptr;

    TestForm() {
        form.resize(808, 539);
        history = Place(new QListWidget(&form), "100 Left varWidth varVertical fixRight",
                        {8, 160, 792, 371});
        portButton = Place(new QPushButton(&form), "Right", {700, 8, 100, 25});
        portLabel = Place(new QLabel(&form), "Top Right fixedRight", {600, 40, 80, 17});
        untagged = Place(new QLabel(&form), QString(), {8, 8, 120, 17});
        auto* frame = Place(new QGroupBox(&form), QString(), {8, 40, 300, 100});
        frameLabel = Place(new QLabel(frame), "Left", {10, 20, 60, 17});
        frameButton = Place(new QPushButton(frame), "Right", {200, 60, 80, 25});
    }

    static QWidget* Place(QWidget* widget, const QString& tag, const QRect& geometry) {
        if (!tag.isEmpty()) {
            widget->setProperty("Tag", tag);
        }
        widget->setGeometry(geometry);
        return widget;
    }
};

} // namespace

class clsLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void followsAWiderAndHigherForm();
    void keepsRegistrationPlacesInASmallerForm();
    void passesOverDestroyedControls();
    void leavesOtherWindowsAlone();
    void startsAfreshOnEverySetLayout();
    void doesNothingWithoutAForm();
};

void clsLayoutTest::followsAWiderAndHigherForm() {
    TestForm f;
    clsLayout layout;
    QVERIFY(layout.SetLayout(&f.form));
    f.form.resize(1008, 639);
    QVERIFY(layout.RedrawLayout());

    QCOMPARE(f.history->geometry(), QRect(8, 160, 992, 471));
    QCOMPARE(f.portButton->geometry(), QRect(900, 8, 100, 25));
    QCOMPARE(f.portLabel->geometry(), QRect(800, 40, 80, 17));
    QCOMPARE(f.untagged->geometry(), QRect(8, 8, 120, 17));
    // Inside the frame Left/Top stay frame-relative, while the right distance
    // was measured to the form's edge: the button moves by the form's growth.
    QCOMPARE(f.frameLabel->geometry(), QRect(10, 20, 60, 17));
    QCOMPARE(f.frameButton->geometry(), QRect(400, 60, 80, 25));
}

void clsLayoutTest::keepsRegistrationPlacesInASmallerForm() {
    TestForm f;
    const QWidget* controls[] = {f.history,  f.portButton, f.portLabel,
                                 f.untagged, f.frameLabel, f.frameButton};
    QRect registered[std::size(controls)];
    for (std::size_t i = 0; i < std::size(controls); ++i) {
        registered[i] = controls[i]->geometry();
    }
    clsLayout layout;
    layout.SetLayout(&f.form);
    f.form.resize(1008, 639);
    layout.RedrawLayout();
    f.form.resize(600, 400);
    layout.RedrawLayout();

    for (std::size_t i = 0; i < std::size(controls); ++i) {
        QCOMPARE(controls[i]->geometry(), registered[i]);
    }
}

void clsLayoutTest::passesOverDestroyedControls() {
    TestForm f;
    clsLayout layout;
    layout.SetLayout(&f.form);
    delete f.portButton;
    f.form.resize(1008, 639);
    QVERIFY(layout.RedrawLayout());
    QCOMPARE(f.history->geometry(), QRect(8, 160, 992, 471));
}

void clsLayoutTest::leavesOtherWindowsAlone() {
    TestForm f;
    auto* tool = new QWidget(&f.form, Qt::Tool);
    tool->setProperty("Tag", QStringLiteral("Right"));
    tool->setGeometry(100, 100, 200, 50);
    clsLayout layout;
    layout.SetLayout(&f.form);
    f.form.resize(1008, 639);
    layout.RedrawLayout();
    QCOMPARE(tool->geometry(), QRect(100, 100, 200, 50));
}

void clsLayoutTest::startsAfreshOnEverySetLayout() {
    TestForm f;
    clsLayout layout;
    layout.SetLayout(&f.form);
    f.form.resize(1008, 639);
    layout.RedrawLayout();

    // Registered again at the larger size, that size is the new floor.
    layout.SetLayout(&f.form);
    f.form.resize(808, 539);
    layout.RedrawLayout();
    QCOMPARE(f.history->geometry(), QRect(8, 160, 992, 471));
    QCOMPARE(f.portButton->geometry(), QRect(900, 8, 100, 25));

    // A control that lost its tag is no longer registered.
    f.portButton->setProperty("Tag", QString());
    f.form.resize(1008, 639);
    layout.SetLayout(&f.form);
    f.form.resize(1108, 639);
    layout.RedrawLayout();
    QCOMPARE(f.portButton->geometry(), QRect(900, 8, 100, 25));
    QCOMPARE(f.history->geometry(), QRect(8, 160, 1092, 471));
}

void clsLayoutTest::doesNothingWithoutAForm() {
    clsLayout unused;
    QVERIFY(!unused.RedrawLayout());
    QVERIFY(!unused.SetLayout(nullptr));
    QVERIFY(!unused.RedrawLayout());

    clsLayout layout;
    auto form = std::make_unique<TestForm>();
    QVERIFY(layout.SetLayout(&form->form));
    form.reset();
    QVERIFY(!layout.RedrawLayout());
}

QTEST_MAIN(clsLayoutTest)
#include "clsLayout_test.moc"
