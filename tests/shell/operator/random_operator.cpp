#include "random_operator.h"

#include "float_window.h"
#include "history_model.h"
#include "history_recording.h"
#include "main_frm.h"
#include "pcapng_reader.h"
#include "port_name.h"
#include "port_set.h"
#include "pty_peer.h"

#include <command_frames.h>
#include <frames/command_channel.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QThread>
#include <QTimerEvent>
#include <QtTest>

#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kStallLimitMs = 400; // the sanitizers' own cost, not the console's
#else
constexpr qint64 kStallLimitMs = 100;
#endif
constexpr std::size_t kRecentActions = 40;
constexpr char kFiller = '\x01'; // no command frame starts with it

// The window's thread's own processor time: a stall is the window working,
// which other processes on the machine neither hide nor add to.
qint64 threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

QByteArray bytesOf(const CommandFrame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.data()), int(frame.size()));
}

// The port named by a port text "Com <port> <speed>,...".
QString portNamedBy(const QString& portText) {
    const QString rest = portText.mid(4);
    return rest.left(rest.lastIndexOf(QLatin1Char(' ')));
}

QString nameOf(const QObject* object) {
    if (object == nullptr) {
        return QStringLiteral("nothing");
    }
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

bool isEnterKey(Qt::Key key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

RandomOperator::RandomOperator(Main_frm& window, OperatorInput& hands, std::uint32_t seed)
    : w_(window), hands_(hands), rng_(seed),
      trace_(qEnvironmentVariableIsSet("KELMORA_OPERATOR_TRACE")) {
    // Autorefresh ticks when the operator's clock says so (tickAutorefresh),
    // not when the machine's does: a tick that fell between a click's press
    // and release would make a run depend on the machine's speed.
    w_.Statem_timer.setInterval(24 * 3600 * 1000);
    // A press of Open Port or Close Port, by click or by key; a port the
    // console finds lost meanwhile is not one.
    for (QPushButton* button : {w_.ui.Command1, w_.ui.Command2}) {
        QObject::connect(button, &QPushButton::clicked, [this] { ++portChanges_; });
    }
    for (QAction* action : {w_.float_on_off, w_.Speichern}) {
        QObject::connect(action, &QAction::triggered, [this] { ++shortcutsFired_; });
    }
    for (QAbstractButton* choice : w_.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(choice) == nullptr) {
            QObject::connect(choice, &QAbstractButton::toggled,
                             [this, choice] { ++toggles_[choice]; });
        }
    }
    QObject::connect(&w_.history(), &HistoryModel::cleared, [this] {
        takeWire();
        framesAtClear_ = wireFrames_.size();
        ++clears_;
    });
    QObject::connect(w_.statusBar(), &QStatusBar::messageChanged, [this](const QString& text) {
        if (!text.isEmpty()) {
            saidDuringAction_.append(text);
        }
        if (text.contains(QStringLiteral("nothing was sent"))) {
            takeWire();
            framesAtRefusal_ = wireFrames_.size();
        }
    });
    w_.setHistoryPathChooser([] { return std::optional<QString>(); });
    w_.recording().start(captureDir_.filePath(QStringLiteral("line.pcapng")));
    bringPeerBack();
    // Started the way scripts/run.sh starts it: preset to the controller.
    w_.presetPort(peer_->devicePath());
}

RandomOperator::~RandomOperator() {
    for (int fd : deadLines_) {
        ::close(fd);
    }
}

int RandomOperator::pick(int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(rng_);
}

Port_Set* RandomOperator::dialog() const {
    return w_.existingPortSettings();
}

bool RandomOperator::dialogShown() const {
    return dialog() != nullptr && dialog()->isVisible();
}

bool RandomOperator::consoleShowsOpen() const {
    return w_.ui.Command2->isEnabled();
}

bool RandomOperator::frameCanGoOut() const {
    return linkLive_ && consoleShowsOpen() && !stalled_;
}

bool RandomOperator::menuHasKeyboard() const {
    return QApplication::activePopupWidget() != nullptr ||
           qobject_cast<QMenuBar*>(QApplication::focusWidget()) != nullptr;
}

bool RandomOperator::namesLivePeer() const {
    const PortNameResolution named = ResolvePortName(portNamedBy(w_.ui.Label_Com->text()));
    return peer_ && named.ok() && named.systemLocation == peer_->devicePath();
}

QStringList RandomOperator::recentActions() const {
    return QStringList(recent_.begin(), recent_.end());
}

QString RandomOperator::step(int number) {
    QString action;
    const qint64 started = threadCpuMs();
    ++figures_.actions;
    if (frameCanGoOut()) {
        ++figures_.actionsWithLiveLine;
    }
    clears_ = 0;
    clearsExpected_ = 0;
    portChanges_ = 0;
    keyAction_ = false;
    menuKeyAction_ = false;
    shortcutKey_ = false;
    shortcutsFired_ = 0;
    refusalsExpected_ = 0;
    refusedTaken_ = 0;
    choicesBefore_.clear();
    for (QAbstractButton* choice : w_.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(choice) == nullptr) {
            choicesBefore_[choice] = choice->isChecked();
        }
    }
    choicesMayChange_.clear();
    toggles_.clear();
    saidDuringAction_.clear();

    perform(action);
    offerOnlyThePeer();
    recent_.push_back(QStringLiteral("%1: %2").arg(number).arg(action));
    if (recent_.size() > kRecentActions) {
        recent_.pop_front();
    }
    if (trace_) {
        qInfo("%d: %s", number, qPrintable(action));
    }
    QCoreApplication::processEvents();
    const qint64 took = threadCpuMs() - started;
    figures_.busiestMs = std::max(figures_.busiestMs, took);
    takeWire();
    QString broken = check();
    if (broken.isEmpty() && took > kStallLimitMs && number > 0 && !hands_.realTime()) {
        broken = QStringLiteral("(f) the action kept the window busy for %1 ms").arg(took);
    }
    if (!broken.isEmpty()) {
        return QStringLiteral("action %1 (%2): %3 [the status bar said during it: %4]")
            .arg(number)
            .arg(action, broken, saidDuringAction_.join(QStringLiteral(" | ")));
    }
    return {};
}

// --- the line ----------------------------------------------------------------

void RandomOperator::loseController() {
    if (!peer_) {
        return;
    }
    // A frame the console has written may still be on its way through
    // the terminal: it reached the line before the line went away.
    if (!stalled_) {
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 10) {
            const std::size_t before = wireFrames_.size() * 64 + std::size_t(pending_.size());
            takeWire();
            if (wireFrames_.size() * 64 + std::size_t(pending_.size()) != before) {
                quiet.restart();
            }
            QThread::usleep(500);
        }
    }
    // Hold the far side of the dead line: its number then stays taken,
    // and no other program's new terminal can appear under the name the
    // port text may still show.
    const int held = ::open(qPrintable(peer_->devicePath()), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (held >= 0) {
        deadLines_.push_back(held);
    }
    peer_.reset();
    linkLive_ = false;
    if (stalled_) {
        partialBytes_.clear(); // behind the filler, never read
    }
    stalled_ = false;
    roomLeft_ = 0;
    fillerLeft_ = 0;
}

void RandomOperator::bringPeerBack() {
    if (peer_) {
        return;
    }
    takeWire();
    peer_ = std::make_unique<PtyPeer>();
    if (!peer_->isValid()) {
        qFatal("no pseudo-terminal for the controller");
    }
    pending_.clear();
}

void RandomOperator::stallController(QString& action) {
    action = QStringLiteral("controller stops reading; its buffer fills");
    if (!peer_ || stalled_) {
        return;
    }
    // Everything the console wrote so far is read first, so the filler
    // stands behind it on the line.
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 5) {
        const qsizetype before = pending_.size() + qsizetype(wireFrames_.size()) * 64;
        takeWire();
        if (pending_.size() + qsizetype(wireFrames_.size()) * 64 != before) {
            quiet.restart();
        }
        QThread::usleep(300);
    }
    // Half the time the driver keeps room for part of a frame: the console's
    // next write then puts its first bytes on the line and is refused.
    roomLeft_ = pick(2) == 0 ? 1 + pick(63) : 0;
    fillerLeft_ = peer_->fillLine(kFiller, roomLeft_);
    stalled_ = true;
    action += QStringLiteral(" (%1 bytes, room for %2 more)").arg(fillerLeft_).arg(roomLeft_);
}

void RandomOperator::resumeController(QString& action) {
    action = QStringLiteral("controller reads again");
    stalled_ = false;
    // The filler comes first, then whatever the console wrote after it
    // (nothing, unless a write went through that should have been refused).
    QElapsedTimer timer;
    timer.start();
    while (fillerLeft_ > 0 && timer.elapsed() < 2000 && peer_) {
        QByteArray got = peer_->readAvailable();
        pending_ += got;
        qsizetype skip = 0;
        while (skip < pending_.size() && skip < fillerLeft_ && pending_.at(skip) == kFiller) {
            ++skip;
        }
        pending_.remove(0, skip);
        fillerLeft_ -= skip;
        if (!pending_.isEmpty()) {
            break; // the console's bytes: the rest of the filler was not there
        }
        if (got.isEmpty()) {
            QThread::usleep(300);
        }
    }
    fillerLeft_ = 0;
}

// --- actions ------------------------------------------------------------------

void RandomOperator::perform(QString& action) {
    if (QApplication::activePopupWidget() != nullptr) {
        // An open menu or drop-down list has the keyboard and the mouse: a
        // click anywhere else only closes it.
        if (pick(3) == 0) {
            action = QStringLiteral("click beside the open %1")
                         .arg(nameOf(QApplication::activePopupWidget()));
            hands_.click(w_.ui.Label2, QPoint(2, 2));
            deliberate_ = nullptr;
        } else {
            pressKey(action);
        }
        return;
    }
    if (!peer_ && pick(10) < 6) {
        action = QStringLiteral("controller comes back");
        bringPeerBack();
        return;
    }
    if (stalled_ && pick(10) < 2) {
        resumeController(action);
        return;
    }
    // Most of a run is spent with the port open to a live controller.
    if (peer_ && !stalled_ && !consoleShowsOpen() && !menuHasKeyboard() && pick(10) < 5) {
        if (namesLivePeer() && !dialogShown()) {
            openPortForOperator(action);
        } else {
            repairPortText(action);
        }
        return;
    }

    const int kind = pick(1000);
    if (kind < 200) {
        clickCommand(action);
    } else if (kind < 250) {
        clickPortStrip(action);
    } else if (kind < 340) {
        clickChoice(action);
    } else if (kind < 390) {
        clickHistoryLine(action);
    } else if (kind < 650) {
        pressKey(action);
    } else if (kind < 690) {
        tapMenuKey(action);
    } else if (kind < 760) {
        typeIntoBox(action);
    } else if (kind < 820) {
        useDialog(action);
    } else if (kind < 828) {
        action = QStringLiteral("controller goes away");
        loseController();
        if (pick(2) == 0) {
            // The operator's click was already on its way when the line died.
            QString click;
            clickCommand(click);
            action += QStringLiteral(" as the operator does ") + click;
        }
    } else if (kind < 845) {
        stallController(action);
    } else if (kind < 860) {
        action = QStringLiteral("double click on List2");
        hands_.doubleClick(w_.ui.List2->viewport(), w_.ui.List2->viewport()->rect().center());
    } else if (kind < 900) {
        action = QStringLiteral("controller sends a status block");
        if (peer_) {
            QByteArray block(32, '\0');
            for (char& b : block) {
                b = char(pick(256));
            }
            peer_->write(block);
        }
    } else if (kind < 920) {
        action = QStringLiteral("time passes");
        hands_.wait(10);
    } else if (kind < 980) {
        tickAutorefresh(action);
    } else {
        clickCommand(action);
    }
}

void RandomOperator::clickAt(QWidget* widget) {
    hands_.click(widget, widget->rect().center());
    deliberate_ = nullptr; // the mouse puts an end to keyboard navigation
}

void RandomOperator::clickCommand(QString& action) {
    const std::vector<QPushButton*> commands{w_.ui.com_move_xy,
                                             w_.ui.com_move_zc,
                                             w_.ui.Command3,
                                             w_.ui.Nullpunkt_setzen,
                                             w_.ui.Zusatzsignale_schalten,
                                             w_.ui.Modechange,
                                             w_.ui.Com_Refresh};
    QPushButton* button = pickOf(commands);
    action = QStringLiteral("click ") + button->objectName();
    expectPress(button, [&] { clickAt(button); });
}

void RandomOperator::clickPortStrip(QString& action) {
    const std::vector<QPushButton*> buttons{w_.ui.Command1, w_.ui.Command2, w_.ui.Com_Com_Set,
                                            w_.ui.Com_ClrHis, w_.ui.Command_Save_His};
    QPushButton* button = pickOf(buttons);
    action = QStringLiteral("click ") + button->objectName();
    openAskedOfLivePeer_ = button == w_.ui.Command1 && button->isEnabled() && namesLivePeer();
    if (button == w_.ui.Com_ClrHis && button->isEnabled()) {
        clearsExpected_ = 1;
    }
    clickAt(button);
    afterPortAction();
}

void RandomOperator::openPortForOperator(QString& action) {
    action = QStringLiteral("click Command1 (to reach the controller)");
    openAskedOfLivePeer_ = w_.ui.Command1->isEnabled() && namesLivePeer();
    clickAt(w_.ui.Command1);
    afterPortAction();
}

void RandomOperator::repairPortText(QString& action) {
    if (!dialogShown()) {
        action = QStringLiteral("click Com_Com_Set (to name the controller)");
        clickAt(w_.ui.Com_Com_Set);
        return;
    }
    auto* box = dialog()->findChild<QComboBox*>(QStringLiteral("Text_Com"));
    if (peer_ && box->currentText() != peer_->devicePath()) {
        action = QStringLiteral("type \"%1\" into Text_Com").arg(peer_->devicePath());
        typeInto(box->lineEdit(), peer_->devicePath());
        return;
    }
    action = QStringLiteral("OK (to name the controller)");
    clickAt(dialog()->findChild<QPushButton*>(QStringLiteral("Command_OK")));
    afterPortAction();
}

void RandomOperator::allowChoiceChanges(QAbstractButton* button) {
    choicesMayChange_.push_back(button);
    if (QButtonGroup* group = button->group()) {
        for (QAbstractButton* member : group->buttons()) {
            choicesMayChange_.push_back(member);
        }
    }
}

void RandomOperator::clickChoice(QString& action) {
    std::vector<QAbstractButton*> choices{
        w_.ui.Option1[0],       w_.ui.Option1[1],     w_.ui.cool_check,
        w_.ui.spindel_check,    w_.ui.to_mode_1,      w_.ui.to_mode_2,
        w_.ui.null_step_option, w_.ui.Null_mm_option, w_.ui.check_autorefresh};
    for (std::size_t i = 0; i < 8; ++i) {
        choices.push_back(w_.ui.Check1[i]);
    }
    for (std::size_t k = 0; k < 4; ++k) {
        choices.push_back(w_.ui.Option2[k]);
        choices.push_back(w_.ui.Option3[k]);
        choices.push_back(w_.ui.Option4[k]);
        choices.push_back(w_.ui.Option5[k]);
    }
    QAbstractButton* choice = pickOf(choices);
    action = QStringLiteral("click ") + choice->objectName();
    allowChoiceChanges(choice);
    clickAt(choice);
}

void RandomOperator::clickHistoryLine(QString& action) {
    QListView* list = pick(4) == 0 ? w_.ui.List2 : w_.ui.List1;
    QWidget* viewport = list->viewport();
    QPoint at = viewport->rect().center();
    const int rows = list->model() != nullptr ? list->model()->rowCount() : 0;
    if (rows > 0) {
        const QRect line = list->visualRect(list->model()->index(pick(rows), 0));
        if (viewport->rect().contains(line.center())) {
            at = line.center();
        }
    }
    action =
        QStringLiteral("click into %1 at (%2, %3)").arg(list->objectName()).arg(at.x()).arg(at.y());
    hands_.click(viewport, at);
    deliberate_ = nullptr;
}

// On a real screen, after a window closes the window manager may leave no
// window with the keyboard for a while: a person then clicks into the
// console before typing.
bool RandomOperator::keyboardGoesNowhere(QString& action) {
    if (!hands_.realTime() || QApplication::activeWindow() != nullptr ||
        QApplication::activePopupWidget() != nullptr) {
        return false;
    }
    action = QStringLiteral("click into the console (no window had the keyboard)");
    hands_.click(w_.ui.Label2, QPoint(2, 2));
    deliberate_ = nullptr;
    return true;
}

void RandomOperator::tapMenuKey(QString& action) {
    if (keyboardGoesNowhere(action)) {
        return;
    }
    keyAction_ = true;
    menuKeyAction_ = true;
    ++figures_.menuKeys;
    OperatorKey key;
    if (pick(2) == 0) {
        key.key = Qt::Key_Alt;
        action = QStringLiteral("tap Alt");
    } else {
        key.key = Qt::Key_F10;
        action = QStringLiteral("tap F10");
    }
    hands_.tap(key);
    if (QApplication::focusWidget() != nullptr && !menuHasKeyboard()) {
        // The key did not give the menu the keyboard; where the focus was,
        // it stays.
    }
}

void RandomOperator::pressKey(QString& action) {
    if (keyboardGoesNowhere(action)) {
        return;
    }
    struct Key {
        Qt::Key key;
        const char* name;
        const char* text;
    };
    static const std::vector<Key> keys{{Qt::Key_Space, "Space", " "},
                                       {Qt::Key_Return, "Enter", "\r"},
                                       {Qt::Key_Enter, "keypad Enter", "\r"},
                                       {Qt::Key_Tab, "Tab", "\t"},
                                       {Qt::Key_Backtab, "Shift+Tab", ""},
                                       {Qt::Key_X, "x", "x"},
                                       {Qt::Key_Y, "y", "y"},
                                       {Qt::Key_Z, "z", "z"},
                                       {Qt::Key_C, "c", "c"},
                                       {Qt::Key_X, "X", "X"},
                                       {Qt::Key_Escape, "Escape", "\x1b"},
                                       {Qt::Key_Down, "Down", ""},
                                       {Qt::Key_Up, "Up", ""},
                                       {Qt::Key_F1, "F1", ""},
                                       {Qt::Key_S, "Ctrl+S", "\x13"}};
    Key key = pickOf(keys);
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    const char* held = "";
    switch (pick(6)) {
    case 0:
        modifiers = Qt::AltModifier;
        held = "Alt+";
        break;
    case 1:
        modifiers = Qt::ControlModifier;
        held = "Ctrl+";
        break;
    case 2:
        modifiers = Qt::ShiftModifier;
        held = "Shift+";
        break;
    default:
        break;
    }
    if (QByteArray(key.name) == "X" || key.key == Qt::Key_Backtab) {
        modifiers |= Qt::ShiftModifier;
    }
    // The window's shortcuts: once per press, and never while a menu has
    // the keyboard.
    shortcutKey_ = key.key == Qt::Key_F1 || QByteArray(key.name) == "Ctrl+S";
    if (QByteArray(key.name) == "Ctrl+S") {
        modifiers = Qt::ControlModifier;
        held = "";
    }

    // A menu that has the keyboard takes Enter and Space on its highlighted
    // entry: the operator here never quits, prints or opens other windows
    // that way, and closes the menu instead.
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        const bool activates = isEnterKey(key.key) || key.key == Qt::Key_Space;
        QAction* entry = menu->activeAction();
        const bool harmless = entry == nullptr || entry == w_.Speichern || entry == w_.Copy ||
                              entry == w_.opt || entry->menu() != nullptr;
        if (activates && !harmless) {
            key = {Qt::Key_Escape, "Escape (instead of activating a menu entry)", "\x1b"};
        }
    }

    OperatorKey typed;
    typed.key = key.key;
    typed.modifiers = modifiers;
    if (key.key == Qt::Key_Enter) {
        typed.modifiers |= Qt::KeypadModifier;
    }
    if (hands_.keptByWindowManager(typed)) {
        modifiers &= ~Qt::AltModifier;
        typed.modifiers &= ~Qt::AltModifier;
        held = "";
    }
    const bool shifted = (modifiers & Qt::ShiftModifier) != 0;
    const bool letter = key.key >= Qt::Key_A && key.key <= Qt::Key_Z;
    if (letter && !shortcutKey_) {
        const char c = char((shifted ? 'A' : 'a') + (key.key - Qt::Key_A));
        typed.text =
            (modifiers & Qt::ControlModifier) ? QString(QChar(char(c & 0x1f))) : QString(QChar(c));
    } else {
        typed.text = QString::fromLatin1(key.text);
    }
    const bool holding = pick(4) == 0;
    const int heldMs = hands_.realTime() ? 250 + pick(450) : pick(1500);

    QWidget* focus = QApplication::focusWidget();
    QWidget* popup = QApplication::activePopupWidget();
    QWidget* active = popup != nullptr ? popup : QApplication::activeWindow();
    const bool menu = menuHasKeyboard();
    action = QStringLiteral("%1 %2%3 on %4%5")
                 .arg(holding ? QStringLiteral("hold %1 ms").arg(heldMs) : QStringLiteral("key"),
                      QLatin1String(held), QLatin1String(key.name), nameOf(focus),
                      menu ? QStringLiteral(" (the menu has the keyboard)") : QString());
    keyAction_ = true;
    menuKeyAction_ = menu;
    if (menu) {
        ++figures_.menuKeys;
    }
    if (holding) {
        ++figures_.heldKeys;
    }

    const bool inMainWindow = !menu && active == &w_;
    const bool inTextBox = qobject_cast<QLineEdit*>(focus) != nullptr;
    const bool ctrlOrAlt = (modifiers & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    const bool enter = isEnterKey(key.key);

    // A check box or option the operator moved to with Tab takes Space, and
    // an option its group's arrows; there Space is the box's alone.
    auto* choice = qobject_cast<QAbstractButton*>(focus);
    const bool onTabbedChoice = !menu && choice != nullptr &&
                                qobject_cast<QPushButton*>(choice) == nullptr &&
                                choice == deliberate_;
    if (onTabbedChoice &&
        (key.key == Qt::Key_Space || key.key == Qt::Key_Down || key.key == Qt::Key_Up)) {
        allowChoiceChanges(choice);
    }
    // What the operator asks for with this key, by the keyboard table.
    QPushButton* pressed = nullptr;
    if (inMainWindow && !inTextBox && !ctrlOrAlt) {
        if (letter && !shifted && !shortcutKey_) {
            pressed = (key.key == Qt::Key_X || key.key == Qt::Key_Y) ? w_.ui.com_move_xy
                                                                     : w_.ui.com_move_zc;
        }
        if (key.key == Qt::Key_Space && !onTabbedChoice) {
            clearsExpected_ = 1;
        }
    }
    auto* deliberateButton = qobject_cast<QPushButton*>(deliberate_.data());
    if (inMainWindow && enter && modifiers == Qt::NoModifier && deliberateButton != nullptr &&
        focus == deliberateButton && deliberateButton->isEnabled()) {
        pressed = deliberateButton; // the operator went there with Tab on purpose
        if (pressed == w_.ui.Com_ClrHis) {
            clearsExpected_ = 1;
        }
    }
    // Enter anywhere else in the window is the default button: Open Port
    // while the port is closed.
    openAskedOfLivePeer_ = inMainWindow && enter && pressed == nullptr &&
                           modifiers == Qt::NoModifier && !consoleShowsOpen() && namesLivePeer();

    const auto press = [&] {
        if (holding) {
            hands_.hold(typed, heldMs);
        } else {
            hands_.tap(typed);
        }
    };
    if (pressed != nullptr) {
        expectPress(pressed, press);
    } else {
        press();
    }
    QWidget* after = QApplication::focusWidget();
    // Tab held with Ctrl or Alt moves no focus.
    const bool tab = (key.key == Qt::Key_Tab || key.key == Qt::Key_Backtab) && !ctrlOrAlt;
    const auto control = [this](QWidget* widget) {
        return widget != nullptr && widget->window() == &w_ &&
               qobject_cast<QMenuBar*>(widget) == nullptr;
    };
    if (after != focus && (tab || (control(focus) && control(after)))) {
        // Tab moves the focus on purpose; anything else that moves it from
        // one control to another does not. The menu bar's keyboard mode and
        // other windows borrow the keyboard and give it back where it was.
        deliberate_ = tab ? qobject_cast<QAbstractButton*>(after) : nullptr;
    }
    afterPortAction();
}

QString RandomOperator::someText(bool portBox) {
    if (portBox) {
        // A port number no machine here has: the operator must not reach
        // a real serial line.
        std::vector<QString> texts{QStringLiteral("250"), QStringLiteral("abc"), QString(),
                                   QStringLiteral("70000"), QStringLiteral("/dev/kelmora-none")};
        if (peer_) {
            texts.push_back(peer_->devicePath());
            texts.push_back(peer_->devicePath());
        }
        return pickOf(texts);
    }
    // Decimals in the separator of the locale the console runs under.
    const QString half = QStringLiteral("2") + w_.locale().decimalPoint() + QStringLiteral("5");
    return pickOf(std::vector<QString>{
        QStringLiteral("0"), QStringLiteral("50"), QStringLiteral("-50"), QStringLiteral("7"), half,
        QStringLiteral("300"), QStringLiteral("abc"), QString(), QStringLiteral("1e40"),
        QStringLiteral("x"), QStringLiteral(" "), QStringLiteral("-2147483649")});
}

void RandomOperator::typeInto(QLineEdit* box, const QString& text) {
    clickAt(box);
    OperatorKey selectAll;
    selectAll.key = Qt::Key_A;
    selectAll.text = QString(QChar(char(1)));
    selectAll.modifiers = Qt::ControlModifier;
    hands_.tap(selectAll);
    OperatorKey backspace;
    backspace.key = Qt::Key_Backspace;
    backspace.text = QStringLiteral("\b");
    hands_.tap(backspace);
    for (const QChar c : text) {
        hands_.tap(KeyForCharacter(c));
    }
}

void RandomOperator::typeIntoBox(QString& action) {
    std::vector<QLineEdit*> boxes{w_.ui.num_coord, w_.ui.v_end,  w_.ui.Null_x,
                                  w_.ui.Null_y,    w_.ui.Null_z, w_.ui.Null_c};
    for (std::size_t row = 0; row < 6; ++row) {
        boxes.push_back(w_.ui.x_z[row]);
        boxes.push_back(w_.ui.y_c[row]);
    }
    QLineEdit* box = pickOf(boxes);
    const QString text = someText(false);
    action = QStringLiteral("type \"%1\" into %2").arg(text, box->objectName());
    typeInto(box, text);
}

// The dialog offers the machine's serial ports; the operator here may
// pick only the controller's line from the list, never a real port. On a
// real screen it stands beside the console, where a click meant for the
// console cannot land on it.
void RandomOperator::offerOnlyThePeer() {
    // The floating window (F1) stays on top: on a real screen it stands
    // below the dialog's place, beside the console, where no click meant for
    // the console lands on it.
    QWidget* floating = w_.existingFloatWindow();
    if (hands_.realTime() && floating != nullptr && floating->isVisible() &&
        floating->frameGeometry().intersects(w_.frameGeometry())) {
        floating->move(w_.frameGeometry().right() + 20, w_.frameGeometry().top() + 420);
        QCoreApplication::processEvents();
        hands_.wait(150);
    }
    if (!dialogShown()) {
        dialogPlaced_ = false;
        return;
    }
    if (hands_.realTime() && !dialogPlaced_) {
        // The window manager places a window a moment after it is shown;
        // until Qt hears where, a click aimed at it may miss.
        (void)QTest::qWaitForWindowExposed(dialog(), 2000);
        hands_.wait(100);
    }
    auto* box = dialog()->findChild<QComboBox*>(QStringLiteral("Text_Com"));
    if (box->count() != (peer_ ? 1 : 0) || (peer_ && box->itemText(0) != peer_->devicePath())) {
        const QString text = box->currentText();
        box->clear();
        if (peer_) {
            box->addItem(peer_->devicePath());
        }
        box->setEditText(text);
    }
    const QRect console = w_.frameGeometry();
    if (dialog()->frameGeometry().intersects(console)) {
        dialog()->move(console.right() + 20, console.top());
        QCoreApplication::processEvents();
        if (hands_.realTime()) {
            hands_.wait(150);
        }
    }
    dialogPlaced_ = true;
}

void RandomOperator::useDialog(QString& action) {
    if (!dialogShown()) {
        action = QStringLiteral("Com Settings...");
        switch (pick(3)) {
        case 0:
            clickAt(w_.ui.Com_Com_Set);
            break;
        case 1:
            w_.opt->trigger();
            break;
        default:
            hands_.doubleClick(w_.ui.Label_Com, w_.ui.Label_Com->rect().center());
            deliberate_ = nullptr;
            break;
        }
        return;
    }
    Port_Set* d = dialog();
    switch (pick(4)) {
    case 0: {
        const QString text = someText(true);
        action = QStringLiteral("type \"%1\" into Text_Com").arg(text);
        typeInto(d->findChild<QComboBox*>(QStringLiteral("Text_Com"))->lineEdit(), text);
        return;
    }
    case 1:
        action = QStringLiteral("OK");
        clickAt(d->findChild<QPushButton*>(QStringLiteral("Command_OK")));
        break;
    case 2:
        action = QStringLiteral("Cancel");
        clickAt(d->findChild<QPushButton*>(QStringLiteral("Command_Cancel")));
        break;
    default:
        action = QStringLiteral("close box");
        d->close();
        break;
    }
    afterPortAction();
}

// --- the model ----------------------------------------------------------------

// The frame the button's command builds from the boxes as they are now,
// or nothing when a box does not convert.
std::optional<QByteArray> RandomOperator::frameFor(QPushButton* button) const {
    const QString point = w_.locale().decimalPoint();
    const char separator = point.size() == 1 ? char(point.at(0).toLatin1()) : '.';
    const auto text = [](const QLineEdit* box) { return box->text().toStdString(); };
    const MainControls& ui = w_.ui;
    if (button == ui.com_move_xy || button == ui.com_move_zc) {
        MoveSetup setup;
        setup.units = ui.Option1[0]->isChecked() ? Units::Steps : Units::Millimetres;
        setup.v_end = text(ui.v_end);
        setup.num_coord = text(ui.num_coord);
        for (std::size_t row = 0; row < 6; ++row) {
            setup.x_z[row] = text(ui.x_z[row]);
            setup.y_c[row] = text(ui.y_c[row]);
        }
        for (std::size_t i = 0; i < 8; ++i) {
            setup.rampChecked[i] = ui.Check1[i]->isChecked();
        }
        const BuiltFrame built = BuildMoveFrame(
            setup, button == ui.com_move_xy ? AxisPair::XY : AxisPair::ZC, counter_, separator);
        return built.ok() ? std::optional(bytesOf(FrameFromHex(built.hexText))) : std::nullopt;
    }
    if (button == ui.Nullpunkt_setzen) {
        const BuiltFrame built = BuildZeroPointFrame(
            ui.null_step_option->isChecked() ? Units::Steps : Units::Millimetres,
            {text(ui.Null_x), text(ui.Null_y), text(ui.Null_z), text(ui.Null_c)}, separator);
        return built.ok() ? std::optional(bytesOf(FrameFromHex(built.hexText))) : std::nullopt;
    }
    if (button == ui.Command3) {
        std::array<Axis, 4> order{};
        for (std::size_t k = 0; k < 4; ++k) {
            order[k] = ui.Option2[k]->isChecked()   ? Axis::X
                       : ui.Option3[k]->isChecked() ? Axis::Y
                       : ui.Option4[k]->isChecked() ? Axis::Z
                                                    : Axis::C;
        }
        const std::string frameText = BuildReferenceRunFrame(order);
        return QByteArray(frameText.data(), int(frameText.size()));
    }
    if (button == ui.Zusatzsignale_schalten) {
        return bytesOf(FrameFromHex(
            BuildAuxiliarySignalsFrame(ui.spindel_check->isChecked(), ui.cool_check->isChecked())));
    }
    if (button == ui.Modechange) {
        return bytesOf(FrameFromHex(BuildModeChangeFrame(ui.to_mode_1->isChecked())));
    }
    if (button == ui.Com_Refresh) {
        return bytesOf(FrameFromHex(BuildStatusRequestFrame(counter_)));
    }
    return std::nullopt;
}

void RandomOperator::expectFrame(const QByteArray& frame) {
    expected_.push_back(frame);
    written_.push_back(frame);
    if (!frame.startsWith("\x02\x31")) {
        ++counter_; // the reference run neither carries nor advances it
    }
}

// Runs `act`, which presses `button` once, expecting its frame, or its
// refusal when the controller's buffer is full.
template <typename Act> void RandomOperator::expectPress(QPushButton* button, Act act) {
    const bool pressable = button->isEnabled() && button->isVisible();
    const std::optional<QByteArray> frame = frameFor(button);
    const bool willSend = pressable && frameCanGoOut() && frame.has_value();
    const bool willBeRefused =
        pressable && linkLive_ && consoleShowsOpen() && stalled_ && frame.has_value();
    act();
    if (willSend) {
        expectFrame(*frame);
    }
    if (willBeRefused) {
        expectRefused(*frame);
    }
}

// A frame the stalled line refuses: the driver takes what room it has left
// of it, which reaches the controller behind the filler, and nothing after.
void RandomOperator::expectRefused(const QByteArray& frame) {
    ++refusalsExpected_;
    refusedTaken_ = roomLeft_;
    if (roomLeft_ > 0) {
        ++figures_.framesPartlyTaken;
        written_.push_back(frame.left(roomLeft_));
    }
    partialBytes_ += frame.left(roomLeft_);
    roomLeft_ = 0;
}

void RandomOperator::tickAutorefresh(QString& action) {
    action = QStringLiteral("a second passes (Autorefresh %1)")
                 .arg(w_.Statem_timer.isActive() ? "ticks" : "is off");
    if (!w_.Statem_timer.isActive()) {
        return;
    }
    beforeTick();
    QTimerEvent tick(w_.Statem_timer.timerId());
    QCoreApplication::sendEvent(&w_.Statem_timer, &tick);
}

void RandomOperator::beforeTick() {
    std::optional<QByteArray> request = bytesOf(FrameFromHex(BuildStatusRequestFrame(counter_)));
    if (frameCanGoOut()) {
        expectFrame(*request);
    } else if (linkLive_ && consoleShowsOpen() && stalled_) {
        expectRefused(*request);
    }
}

// After anything that may open or close the port.
void RandomOperator::afterPortAction() {
    if (!consoleShowsOpen()) {
        linkLive_ = false;
        return;
    }
    if (peer_ && w_.MSComm1.isOpen() && w_.MSComm1.portLocation() == peer_->devicePath()) {
        linkLive_ = true;
    }
}

void RandomOperator::takeWire() {
    if (!peer_ || stalled_) {
        return; // a stalled controller reads nothing
    }
    pending_ += peer_->readAvailable();
    // A frame the console has written is in the kernel, but reaches this
    // end a moment later: wait for the frames the model expects.
    const std::size_t owed =
        expected_.size() > wireFrames_.size() ? expected_.size() - wireFrames_.size() : 0;
    if (owed > 0 && std::size_t(pending_.size()) < owed * 64) {
        QElapsedTimer timer;
        timer.start();
        while (std::size_t(pending_.size()) < owed * 64 && timer.elapsed() < 1000) {
            const QByteArray more = peer_->readAvailable();
            pending_ += more;
            if (more.isEmpty()) {
                QThread::usleep(200);
            }
        }
    }
    while (pending_.size() >= 64 && wireFrames_.size() < expected_.size()) {
        wireFrames_.push_back(pending_.left(64));
        pending_.remove(0, 64);
    }
    // The part of a refused frame that the driver took stands behind the
    // frames before it; the port was closed right after it.
    if (!partialBytes_.isEmpty() && wireFrames_.size() == expected_.size()) {
        QElapsedTimer timer;
        timer.start();
        while (pending_.size() < partialBytes_.size() && timer.elapsed() < 1000) {
            const QByteArray more = peer_->readAvailable();
            pending_ += more;
            if (more.isEmpty()) {
                QThread::usleep(200);
            }
        }
        if (!pending_.startsWith(partialBytes_)) {
            partialMismatch_ = QStringLiteral("(i) the line got %1 after the frames, not the %2 "
                                              "bytes the driver took (%3)")
                                   .arg(QString::fromLatin1(pending_.toHex()))
                                   .arg(partialBytes_.size())
                                   .arg(QString::fromLatin1(partialBytes_.toHex()));
        }
        pending_.remove(0, partialBytes_.size());
        partialBytes_.clear();
    }
    while (pending_.size() >= 64) {
        wireFrames_.push_back(pending_.left(64));
        pending_.remove(0, 64);
    }
}

QString RandomOperator::checkCapture() {
    w_.recording().stop();
    QFile file(captureDir_.filePath(QStringLiteral("line.pcapng")));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("(k) no capture: ") + file.errorString();
    }
    pcapng::CaptureReader reader([&file](char* to, std::size_t size) {
        return std::size_t(std::max<qint64>(0, file.read(to, qint64(size))));
    });
    std::size_t outbound = 0;
    while (const std::optional<pcapng::Packet> packet = reader.next()) {
        if (packet->direction != pcapng::Direction::Outbound) {
            continue;
        }
        const QByteArray data(packet->data.data(), qsizetype(packet->data.size()));
        if (outbound >= written_.size() || data != written_[outbound]) {
            return QStringLiteral(
                       "(k) outbound packet %1 of the capture is %2, the console wrote %3")
                .arg(outbound)
                .arg(QString::fromLatin1(data.toHex()),
                     outbound < written_.size() ? QString::fromLatin1(written_[outbound].toHex())
                                                : QStringLiteral("nothing more"));
        }
        ++outbound;
    }
    if (!reader.error().empty() || outbound != written_.size()) {
        return QStringLiteral("(k) the capture holds %1 outbound packets, the console wrote %2 %3")
            .arg(outbound)
            .arg(written_.size())
            .arg(QString::fromStdString(reader.error()));
    }
    return {};
}

QString RandomOperator::checkChoices() {
    for (const auto& [choice, flips] : toggles_) {
        if (flips > 1) {
            return QStringLiteral("(h) %1 flipped %2 times in one action")
                .arg(nameOf(choice))
                .arg(flips);
        }
    }
    // (l) Enter and Space act on the button the screen shows them acting on.
    auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    if (focused != nullptr && focused->window() == &w_) {
        QStyleOptionButton option;
        option.initFrom(focused);
        const bool framed = (option.state & QStyle::State_HasFocus) &&
                            (option.state & QStyle::State_KeyboardFocusChange);
        if (framed != (focused == deliberate_)) {
            return QStringLiteral("(l) %1 %2 the focus frame, but the operator %3 to it with Tab")
                .arg(nameOf(focused), framed ? "shows" : "does not show",
                     focused == deliberate_ ? "moved" : "did not move");
        }
    }
    for (const auto& [choice, before] : choicesBefore_) {
        if (choice->isChecked() == before) {
            continue;
        }
        if (std::find(choicesMayChange_.begin(), choicesMayChange_.end(), choice) ==
            choicesMayChange_.end()) {
            return QStringLiteral("(h) %1 turned %2 without the operator asking")
                .arg(nameOf(choice), choice->isChecked() ? "on" : "off");
        }
    }
    if (w_.Statem_timer.isActive() != w_.ui.check_autorefresh->isChecked()) {
        return QStringLiteral("(h) Autorefresh is %1 but its timer %2")
            .arg(w_.ui.check_autorefresh->isChecked() ? "ticked" : "not ticked",
                 w_.Statem_timer.isActive() ? "runs" : "is stopped");
    }
    return {};
}

QString RandomOperator::check() {
    if (!escaped_.isEmpty()) {
        return QStringLiteral("(j) an exception left an event handler: %1").arg(escaped_);
    }
    if (!consoleShowsOpen()) {
        linkLive_ = false;
    }
    // (i)
    if (!partialMismatch_.isEmpty()) {
        return partialMismatch_;
    }
    if (refusalsExpected_ > 0) {
        ++figures_.framesRefused;
        // Said as it happened: no byte out, or how many of the frame's.
        const QString said = w_.statusMessage();
        const bool told =
            refusedTaken_ == 0
                ? said.contains(QStringLiteral("refused")) &&
                      said.contains(QStringLiteral("nothing was sent"))
                : said.contains(
                      QStringLiteral("the line took %1 of 64 bytes").arg(refusedTaken_)) &&
                      !said.contains(QStringLiteral("nothing was sent"));
        if (consoleShowsOpen() || !told) {
            return QStringLiteral("(i) the line took %1 bytes of the frame, yet the port is %2 and "
                                  "the status bar says \"%3\"")
                .arg(refusedTaken_)
                .arg(consoleShowsOpen() ? "open" : "closed", said);
        }
    }
    // (a), (b)
    if (wireFrames_.size() != expected_.size()) {
        return QStringLiteral("(a) %1 frames on the wire (and %2 bytes), %3 asked for (%4)")
            .arg(wireFrames_.size())
            .arg(pending_.size())
            .arg(expected_.size())
            .arg(w_.statusMessage());
    }
    for (std::size_t i = checked_; i < wireFrames_.size(); ++i) {
        if (wireFrames_[i] != expected_[i]) {
            return QStringLiteral("(b) frame %1 is %2, expected %3")
                .arg(i)
                .arg(QString::fromLatin1(wireFrames_[i].toHex()),
                     QString::fromLatin1(expected_[i].toHex()));
        }
    }
    checked_ = wireFrames_.size();
    figures_.framesOnWire = wireFrames_.size();
    // (c)
    std::vector<std::string> sentLines;
    const HistoryModel& history = w_.history();
    for (int row = 0; row < history.count(); ++row) {
        std::string line = history.lineAt(row);
        if (line.rfind("IN < ", 0) != 0) {
            sentLines.push_back(std::move(line));
        }
    }
    const std::size_t onWire = wireFrames_.size() - std::min(framesAtClear_, wireFrames_.size());
    if (sentLines.size() != onWire) {
        return QStringLiteral("(c) the history shows %1 sent lines, the wire has %2 (%3 is %4)")
            .arg(sentLines.size())
            .arg(onWire)
            .arg(w_.MSComm1.portLocation(), w_.MSComm1.isOpen() ? "open" : "closed");
    }
    for (std::size_t i = 0; i < sentLines.size(); ++i) {
        const QByteArray& frame = wireFrames_[framesAtClear_ + i];
        const std::string expectedLine =
            frame.startsWith("\x02\x31")
                ? ReferenceRunLogLine(std::string_view(frame.constData(), 64))
                : QByteArray(frame).toHex().toUpper().toStdString();
        if (sentLines[i] != expectedLine) {
            return QStringLiteral("(c) history line %1 is not the frame on the wire").arg(i);
        }
    }
    // (d)
    const QString named = portNamedBy(w_.ui.Label_Com->text());
    const PortNameResolution resolved = ResolvePortName(named);
    if (w_.MSComm1.isOpen() &&
        (!resolved.ok() || resolved.systemLocation != w_.MSComm1.portLocation())) {
        return QStringLiteral("(d) %1 is open, the port text names \"%2\"")
            .arg(w_.MSComm1.portLocation(), named);
    }
    const bool openAsked = std::exchange(openAskedOfLivePeer_, false);
    if (openAsked && !consoleShowsOpen()) {
        return QStringLiteral("(d) Open Port did not open %1, which the port text names (%2)")
            .arg(named, w_.statusMessage());
    }
    // (e)
    if (wireFrames_.size() > framesAtRefusal_ &&
        w_.statusMessage().contains(QStringLiteral("nothing was sent"))) {
        return QStringLiteral("(e) a frame went out under \"%1\"").arg(w_.statusMessage());
    }
    // (g)
    if (keyAction_) {
        if (clears_ != clearsExpected_) {
            return QStringLiteral("(g) the key cleared the history %1 times, the operator asked "
                                  "for %2")
                .arg(clears_)
                .arg(clearsExpected_);
        }
        if (portChanges_ > (menuKeyAction_ ? 0 : 1)) {
            return QStringLiteral("(g) the key opened or closed the port %1 times")
                .arg(portChanges_);
        }
        if (shortcutKey_ && shortcutsFired_ > (menuKeyAction_ ? 0 : 1)) {
            return QStringLiteral("(g) the shortcut fired %1 times%2")
                .arg(shortcutsFired_)
                .arg(menuKeyAction_ ? QStringLiteral(" while a menu had the keyboard") : QString());
        }
    } else if (clears_ > clearsExpected_) {
        return QStringLiteral("(g) the history was cleared %1 times, the operator asked for %2")
            .arg(clears_)
            .arg(clearsExpected_);
    }
    // (h)
    return checkChoices();
}
