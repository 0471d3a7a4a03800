// The main window's resize and the status panel's painting of a frame.

#include "lamp.h"
#include "main_frm.h"
#include "worked_status_frame.h"

#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {
std::string bytes(std::initializer_list<int> values) {
    std::string block;
    for (int v : values) {
        block.push_back(static_cast<char>(v));
    }
    return block;
}

constexpr std::uint32_t kRed = 255;
constexpr std::uint32_t kGreen = 65280;
} // namespace

class LayoutAndDisplayTest : public QObject {
    Q_OBJECT
private slots:
    void resizeStretchesTheHistoryAndMovesThePortButtons();
    void smallerThanDesignLeavesEverythingInPlace();
    void workedStatusFrame();
    void allZeroFrame();
    void flagBytesAndExtremes();
    void fillLevelAboveHundred();
};

void LayoutAndDisplayTest::resizeStretchesTheHistoryAndMovesThePortButtons() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* form = w.centralWidget();
    const QRect history = w.ui.List1->geometry();
    const QRect datasets = w.ui.List2->geometry();
    const QRect open = w.ui.Command1->geometry();
    const QRect drive = w.ui.com_move_xy->geometry();
    const QSize before = form->size();

    w.resize(w.width() + 200, w.height() + 100);
    QTRY_COMPARE(form->size(), before + QSize(200, 100));
    QCOMPARE(w.ui.List1->geometry(), history.adjusted(0, 0, 200, 100));
    QCOMPARE(w.ui.List2->geometry(), datasets.adjusted(0, 0, 200, 0));
    QCOMPARE(w.ui.Command1->geometry(), open.translated(200, 0));
    QCOMPARE(w.ui.com_move_xy->geometry(), drive); // untagged: stays put
}

void LayoutAndDisplayTest::smallerThanDesignLeavesEverythingInPlace() {
    Main_frm w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect history = w.ui.List1->geometry();
    const QRect open = w.ui.Command1->geometry();
    w.resize(w.width() - 300, w.height() - 200);
    QTest::qWait(20);
    QCOMPARE(w.ui.List1->geometry(), history);
    QCOMPARE(w.ui.Command1->geometry(), open);
}

void LayoutAndDisplayTest::workedStatusFrame() {
    Main_frm w;
    w.display_input(WorkedStatusFrame().toStdString());
    w.showPendingDisplay();
    QCOMPARE(w.ui.Label_mode->text(), QString("2"));
    QCOMPARE(w.ui.Label_posx->text(), QString("10000"));
    QCOMPARE(w.ui.Label_posy->text(), QString("-50"));
    QCOMPARE(w.ui.Label_posz->text(), QString("0"));
    QCOMPARE(w.ui.Label_posc->text(), QString("256"));
    QCOMPARE(w.ui.Pufferfüllstand->value(), 50);
    QCOMPARE(w.ui.label_bufferfill_prozent->text(), QString(" 50 %"));
    QCOMPARE(w.ui.Label_errcode->text(), QString("0"));
    QCOMPARE(w.ui.Label_framectr->text(), QString("7"));
    QCOMPARE(w.ui.Label_boost->colourValue(), kGreen);
    QCOMPARE(w.ui.Label_spindel->colourValue(), kGreen);
    QCOMPARE(w.ui.Label_sleep->colourValue(), kRed);
    QCOMPARE(w.ui.Label_cool->colourValue(), kRed);
    QCOMPARE(w.ui.Label_emergency->colourValue(), kRed);
    QCOMPARE(w.ui.Label_endx->colourValue(), kRed);
    QCOMPARE(w.ui.Label_endy->colourValue(), kGreen);
    QCOMPARE(w.ui.Label_endz->colourValue(), kGreen);
    QCOMPARE(w.ui.Label_endc->colourValue(), kGreen);
}

void LayoutAndDisplayTest::allZeroFrame() {
    Main_frm w;
    w.display_input(std::string(32, '\0'));
    w.showPendingDisplay();
    for (QLabel* label : {w.ui.Label_posx, w.ui.Label_posy, w.ui.Label_posz, w.ui.Label_posc,
                          w.ui.Label_mode, w.ui.Label_errcode, w.ui.Label_framectr}) {
        QCOMPARE(label->text(), QString("0"));
    }
    QCOMPARE(w.ui.label_bufferfill_prozent->text(), QString(" 0 %"));
    for (Lamp* lamp : {w.ui.Label_emergency, w.ui.Label_endx, w.ui.Label_endy, w.ui.Label_endz,
                       w.ui.Label_endc}) {
        QCOMPARE(lamp->colourValue(), kGreen);
    }
    for (Lamp* lamp : {w.ui.Label_boost, w.ui.Label_sleep, w.ui.Label_cool, w.ui.Label_spindel}) {
        QCOMPARE(lamp->colourValue(), kRed);
    }
}

void LayoutAndDisplayTest::flagBytesAndExtremes() {
    Main_frm w;
    std::string block(32, '\0');
    block[0] = char(0xFF);
    block[1] = char(0xFF);
    block[2] = char(0x0F);
    block.replace(3, 4, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    block.replace(7, 4, bytes({0x00, 0x00, 0x00, 0x80}));
    block.replace(11, 4, bytes({0xFF, 0xFF, 0xFF, 0x7F}));
    block[20] = 100;
    w.display_input(block);
    w.showPendingDisplay();
    QCOMPARE(w.ui.Label_mode->text(), QString("255"));
    QCOMPARE(w.ui.Label_posx->text(), QString("-1"));
    QCOMPARE(w.ui.Label_posy->text(), QString("-2147483648"));
    QCOMPARE(w.ui.Label_posz->text(), QString("2147483647"));
    QCOMPARE(w.ui.Pufferfüllstand->value(), 100);
    QCOMPARE(w.ui.label_bufferfill_prozent->text(), QString(" 100 %"));
    for (Lamp* lamp :
         {w.ui.Label_emergency, w.ui.Label_endx, w.ui.Label_endy, w.ui.Label_endz, w.ui.Label_endc,
          w.ui.Label_boost, w.ui.Label_sleep, w.ui.Label_cool, w.ui.Label_spindel}) {
        QCOMPARE(lamp->colourValue(), kRed);
    }
}

void LayoutAndDisplayTest::fillLevelAboveHundred() {
    // The bar stays in its range; the label shows what the controller sent.
    Main_frm w;
    std::string block(32, '\0');
    block[20] = char(180);
    w.display_input(block);
    w.showPendingDisplay();
    QCOMPARE(w.ui.Pufferfüllstand->value(), 100);
    QCOMPARE(w.ui.label_bufferfill_prozent->text(), QString(" 180 %"));
}

QTEST_MAIN(LayoutAndDisplayTest)
#include "layout_and_display_test.moc"
