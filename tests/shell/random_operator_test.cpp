// A randomized operator. It plays clicks, keys (alone and with modifiers,
// with the focus wherever earlier actions left it), typing good and bad
// texts, the port settings dialog, Autorefresh and a controller that goes
// away and comes back, against the real console on real pseudo-terminals.
// After every action it checks what the operator must be able to rely on:
//   (a) every frame on the wire comes from one action that asks for a frame
//       on an open port, and each such action with valid boxes sends one;
//   (b) the frame is what the protocol core builds from the boxes at that
//       moment, with the expected counter;
//   (c) the history's sent lines since the last clear are exactly the
//       frames on the wire, in order;
//   (d) the console has open the device the port text names, and an Open
//       Port on a text that names the live controller opens it;
//   (e) no status text says "nothing was sent" once a frame has gone out;
//   (f) no action keeps the window busy for more than 100 ms.
//
// KELMORA_OPERATOR_SEED=N replays one seed; KELMORA_OPERATOR_ACTIONS=N sets
// the number of actions (20,000 by default); KELMORA_OPERATOR_TRACE=1 prints
// every action.

#include "float_window.h"
#include "history_model.h"
#include "main_frm.h"
#include "port_name.h"
#include "port_set.h"
#include "pty_peer.h"

#include <command_frames.h>
#include <frames/command_channel.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QThread>
#include <QtTest>

#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <random>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kStallLimitMs = 400; // the sanitizers' own cost, not the console's
#else
constexpr qint64 kStallLimitMs = 100;
#endif

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

class RandomOperator {
public:
    RandomOperator(Main_frm& window, std::uint32_t seed) : w_(window), rng_(seed) {
        // Autorefresh ticks often enough to meet every other action.
        w_.Statem_timer.setInterval(7);
        QObject::connect(&w_.Statem_timer, &QTimer::timeout, [this] { onTick(); });
        QObject::connect(&w_.history(), &HistoryModel::cleared, [this] {
            takeWire();
            framesAtClear_ = wireFrames_.size();
        });
        QObject::connect(w_.statusBar(), &QStatusBar::messageChanged, [this](const QString& text) {
            if (text.contains(QStringLiteral("nothing was sent"))) {
                takeWire();
                framesAtRefusal_ = wireFrames_.size();
            }
        });
        w_.setHistoryPathChooser([] { return std::optional<QString>(); });
        bringPeerBack();
        // Started the way scripts/run.sh starts it: preset to the controller.
        w_.presetPort(peer_->devicePath());
    }

    // Runs one action and checks every invariant; a message when one broke.
    QString step(int number) {
        QString action;
        const qint64 started = threadCpuMs();
        perform(action);
        offerOnlyThePeer();
        if (trace_) {
            qInfo("%d: %s", number, qPrintable(action));
        }
        QCoreApplication::processEvents();
        const qint64 took = threadCpuMs() - started;
        worstMs_ = std::max(worstMs_, took);
        takeWire();
        QString broken = check();
        if (broken.isEmpty() && took > kStallLimitMs && number > 0) {
            broken = QStringLiteral("(f) the action kept the window busy for %1 ms").arg(took);
        }
        if (!broken.isEmpty()) {
            return QStringLiteral("action %1 (%2): %3").arg(number).arg(action, broken);
        }
        return {};
    }

    ~RandomOperator() {
        for (int fd : deadLines_) {
            ::close(fd);
        }
    }

    qint64 worstMs() const { return worstMs_; }
    std::size_t framesSent() const { return wireFrames_.size(); }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    template <typename T> T pickOf(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(pick(int(items.size())))];
    }

    Port_Set* dialog() const { return w_.existingPortSettings(); }
    bool dialogShown() const { return dialog() != nullptr && dialog()->isVisible(); }
    bool consoleShowsOpen() const { return w_.ui.Command2->isEnabled(); }
    bool frameCanGoOut() const { return linkLive_ && consoleShowsOpen(); }
    bool namesLivePeer() const {
        const PortNameResolution named = ResolvePortName(portNamedBy(w_.ui.Label_Com->text()));
        return peer_ && named.ok() && named.systemLocation == peer_->devicePath();
    }

    void perform(QString& action) {
        const int kind = pick(100);
        if (kind < 22) {
            clickCommand(action);
        } else if (kind < 30) {
            clickPortStrip(action);
        } else if (kind < 42) {
            clickChoice(action);
        } else if (kind < 70) {
            pressKey(action);
        } else if (kind < 80) {
            typeIntoBox(action);
        } else if (kind < 89) {
            useDialog(action);
        } else if (kind < 91) {
            action = QStringLiteral("controller goes away");
            loseController();
            if (pick(2) == 0) {
                // The operator's click was already queued when the line died.
                QString click;
                clickCommand(click);
                action += QStringLiteral(" as the operator does ") + click;
            }
        } else if (kind < 93) {
            action = QStringLiteral("controller comes back");
            bringPeerBack();
        } else if (kind < 95) {
            action = QStringLiteral("double click on List2");
            QTest::mouseDClick(w_.ui.List2->viewport(), Qt::LeftButton);
        } else if (kind < 97) {
            action = QStringLiteral("controller sends a status block");
            if (peer_) {
                QByteArray block(32, '\0');
                for (char& b : block) {
                    b = char(pick(256));
                }
                peer_->write(block);
            }
        } else {
            action = QStringLiteral("time passes");
            QTest::qWait(10);
        }
    }

    void loseController() {
        if (!peer_) {
            return;
        }
        // A frame the console has written may still be on its way through
        // the terminal: it reached the line before the line went away.
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
        // Hold the far side of the dead line: its number then stays taken,
        // and no other program's new terminal can appear under the name the
        // port text may still show.
        const int held = ::open(qPrintable(peer_->devicePath()), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (held >= 0) {
            deadLines_.push_back(held);
        }
        peer_.reset();
        linkLive_ = false;
    }

    void bringPeerBack() {
        if (peer_) {
            return;
        }
        takeWire();
        peer_ = std::make_unique<PtyPeer>();
        QVERIFY(peer_->isValid());
        pending_.clear();
    }

    // --- actions ----------------------------------------------------------

    void activate(QWidget* widget) {
        QWidget* window = widget->window();
        if (QApplication::activeWindow() != window) {
            window->activateWindow();
            QCoreApplication::processEvents();
        }
    }

    void click(QWidget* widget) {
        activate(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        deliberate_ = nullptr; // the mouse puts an end to keyboard navigation
    }

    void clickCommand(QString& action) {
        const std::vector<QPushButton*> commands{w_.ui.com_move_xy,
                                                 w_.ui.com_move_zc,
                                                 w_.ui.Command3,
                                                 w_.ui.Nullpunkt_setzen,
                                                 w_.ui.Zusatzsignale_schalten,
                                                 w_.ui.Modechange,
                                                 w_.ui.Com_Refresh};
        QPushButton* button = pickOf(commands);
        action = QStringLiteral("click ") + button->objectName();
        expectPress(button, [&] { click(button); });
    }

    void clickPortStrip(QString& action) {
        const std::vector<QPushButton*> buttons{w_.ui.Command1, w_.ui.Command2, w_.ui.Com_Com_Set,
                                                w_.ui.Com_ClrHis, w_.ui.Command_Save_His};
        QPushButton* button = pickOf(buttons);
        action = QStringLiteral("click ") + button->objectName();
        openAskedOfLivePeer_ = button == w_.ui.Command1 && button->isEnabled() && namesLivePeer();
        click(button);
        afterPortAction();
    }

    void clickChoice(QString& action) {
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
        click(choice);
    }

    void pressKey(QString& action) {
        struct Key {
            Qt::Key key;
            const char* name;
        };
        const std::vector<Key> keys{{Qt::Key_Space, "Space"},
                                    {Qt::Key_Return, "Enter"},
                                    {Qt::Key_Enter, "keypad Enter"},
                                    {Qt::Key_Tab, "Tab"},
                                    {Qt::Key_Backtab, "Shift+Tab"},
                                    {Qt::Key_X, "x"},
                                    {Qt::Key_Y, "y"},
                                    {Qt::Key_Z, "z"},
                                    {Qt::Key_C, "c"},
                                    {Qt::Key_X, "X"},
                                    {Qt::Key_Escape, "Escape"}};
        const Key key = pickOf(keys);
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
        if (key.key == Qt::Key_Enter) {
            modifiers |= Qt::KeypadModifier;
        }
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            target = QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : &w_;
        }
        action = QStringLiteral("key %1%2 on %3")
                     .arg(QLatin1String(held), QLatin1String(key.name), target->objectName());

        const bool inMainWindow = target->window() == &w_;
        const bool inTextBox = qobject_cast<QLineEdit*>(target) != nullptr;
        const bool plain = (modifiers & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == 0;
        const bool shifted = (modifiers & Qt::ShiftModifier) != 0;

        // What the operator asks for with this key, by the keyboard table.
        QPushButton* pressed = nullptr;
        if (inMainWindow && !inTextBox && plain && !shifted) {
            if (key.key == Qt::Key_X || key.key == Qt::Key_Y) {
                pressed = w_.ui.com_move_xy;
            } else if (key.key == Qt::Key_Z || key.key == Qt::Key_C) {
                pressed = w_.ui.com_move_zc;
            }
        }
        const bool enter = key.key == Qt::Key_Return || key.key == Qt::Key_Enter;
        if (inMainWindow && enter && (modifiers & ~Qt::KeypadModifier) == 0 &&
            target == deliberate_ && deliberate_->isEnabled()) {
            pressed = deliberate_; // the operator went there with Tab on purpose
        }

        // Enter anywhere else in the window is the default button: Open Port
        // while the port is closed.
        openAskedOfLivePeer_ = inMainWindow && enter && pressed == nullptr &&
                               (modifiers & ~Qt::KeypadModifier) == 0 && !consoleShowsOpen() &&
                               namesLivePeer();
        const auto press = [&] {
            if (key.key >= Qt::Key_A && key.key <= Qt::Key_Z) {
                // As a keyboard types it: Shift makes the letter a capital.
                const char letter = char((shifted ? 'A' : 'a') + (key.key - Qt::Key_A));
                QTest::keyClick(target, letter, modifiers);
            } else {
                QTest::keyClick(target, key.key, modifiers);
            }
        };
        if (pressed != nullptr) {
            expectPress(pressed, press);
        } else {
            press();
        }
        const bool tab = key.key == Qt::Key_Tab || key.key == Qt::Key_Backtab;
        QWidget* focus = QApplication::focusWidget();
        if (tab) {
            deliberate_ = qobject_cast<QPushButton*>(focus);
        } else if (focus != deliberate_) {
            deliberate_ = nullptr;
        }
        afterPortAction();
    }

    QString someText(bool portBox) {
        if (portBox) {
            // A port number no machine here has: the operator must not reach
            // a real serial line.
            std::vector<QString> texts{QStringLiteral("250"), QStringLiteral("abc"), QString(),
                                       QStringLiteral("70000"),
                                       QStringLiteral("/dev/kelmora-none")};
            if (peer_) {
                texts.push_back(peer_->devicePath());
                texts.push_back(peer_->devicePath());
            }
            return pickOf(texts);
        }
        return pickOf(std::vector<QString>{
            QStringLiteral("0"), QStringLiteral("50"), QStringLiteral("-50"), QStringLiteral("7"),
            QStringLiteral("2.5"), QStringLiteral("300"), QStringLiteral("abc"), QString(),
            QStringLiteral("1e40"), QStringLiteral("x"), QStringLiteral(" "),
            QStringLiteral("-2147483649")});
    }

    void typeInto(QLineEdit* box, const QString& text) {
        click(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }

    void typeIntoBox(QString& action) {
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
    // pick only the controller's line from the list, never a real port.
    void offerOnlyThePeer() {
        if (!dialogShown()) {
            return;
        }
        auto* box = dialog()->findChild<QComboBox*>(QStringLiteral("Text_Com"));
        const QString text = box->currentText();
        box->clear();
        if (peer_) {
            box->addItem(peer_->devicePath());
        }
        box->setEditText(text);
    }

    void useDialog(QString& action) {
        if (!dialogShown()) {
            action = QStringLiteral("Com Settings...");
            switch (pick(3)) {
            case 0:
                click(w_.ui.Com_Com_Set);
                break;
            case 1:
                w_.opt->trigger();
                break;
            default:
                activate(w_.ui.Label_Com);
                QTest::mouseDClick(w_.ui.Label_Com, Qt::LeftButton);
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
            click(d->findChild<QPushButton*>(QStringLiteral("Command_OK")));
            break;
        case 2:
            action = QStringLiteral("Cancel");
            click(d->findChild<QPushButton*>(QStringLiteral("Command_Cancel")));
            break;
        default:
            action = QStringLiteral("close box");
            d->close();
            break;
        }
        afterPortAction();
    }

    // --- the model ----------------------------------------------------------

    // The frame the button's command builds from the boxes as they are now,
    // or nothing when a box does not convert.
    std::optional<QByteArray> frameFor(QPushButton* button) const {
        const char separator = '.';
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
            return bytesOf(FrameFromHex(BuildAuxiliarySignalsFrame(ui.spindel_check->isChecked(),
                                                                   ui.cool_check->isChecked())));
        }
        if (button == ui.Modechange) {
            return bytesOf(FrameFromHex(BuildModeChangeFrame(ui.to_mode_1->isChecked())));
        }
        if (button == ui.Com_Refresh) {
            return bytesOf(FrameFromHex(BuildStatusRequestFrame(counter_)));
        }
        return std::nullopt;
    }

    void expectFrame(const QByteArray& frame) {
        expected_.push_back(frame);
        if (!frame.startsWith("\x02\x31")) {
            ++counter_; // the reference run neither carries nor advances it
        }
    }

    // Runs `act`, which presses `button` once, expecting its frame.
    template <typename Act> void expectPress(QPushButton* button, Act act) {
        const bool pressable = button->isEnabled() && button->isVisible();
        const std::optional<QByteArray> frame = frameFor(button);
        const bool willSend = pressable && frameCanGoOut() && frame.has_value();
        act();
        if (willSend) {
            expectFrame(*frame);
        }
    }

    void onTick() {
        if (frameCanGoOut()) {
            expectFrame(bytesOf(FrameFromHex(BuildStatusRequestFrame(counter_))));
        }
    }

    // After anything that may open or close the port.
    void afterPortAction() {
        if (!consoleShowsOpen()) {
            linkLive_ = false;
            return;
        }
        if (peer_ && w_.MSComm1.isOpen() && w_.MSComm1.portLocation() == peer_->devicePath()) {
            linkLive_ = true;
        }
    }

    void takeWire() {
        if (!peer_) {
            return;
        }
        pending_ += peer_->readAvailable();
        while (pending_.size() >= 64) {
            wireFrames_.push_back(pending_.left(64));
            pending_.remove(0, 64);
        }
    }

    QString check() {
        if (!consoleShowsOpen()) {
            linkLive_ = false;
        }
        // (a), (b)
        if (wireFrames_.size() != expected_.size()) {
            return QStringLiteral("(a) %1 frames on the wire, %2 asked for")
                .arg(wireFrames_.size())
                .arg(expected_.size());
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
        // (c)
        std::vector<std::string> sentLines;
        const HistoryModel& history = w_.history();
        for (int row = 0; row < history.count(); ++row) {
            std::string line = history.lineAt(row);
            if (line.rfind("IN < ", 0) != 0) {
                sentLines.push_back(std::move(line));
            }
        }
        const std::size_t onWire =
            wireFrames_.size() - std::min(framesAtClear_, wireFrames_.size());
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
        return {};
    }

    Main_frm& w_;
    std::mt19937 rng_;
    std::unique_ptr<PtyPeer> peer_;
    std::vector<int> deadLines_;
    QByteArray pending_;
    std::vector<QByteArray> wireFrames_;
    std::vector<QByteArray> expected_;
    std::size_t checked_ = 0;
    std::size_t framesAtClear_ = 0;
    std::size_t framesAtRefusal_ = 0;
    std::uint8_t counter_ = 0;
    bool linkLive_ = false;
    bool openAskedOfLivePeer_ = false;
    QPointer<QPushButton> deliberate_;
    qint64 worstMs_ = 0;
    bool trace_ = qEnvironmentVariableIsSet("KELMORA_OPERATOR_TRACE");
};

int envInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class RandomOperatorTest : public QObject {
    Q_OBJECT
private slots:
    void everyInvariantHoldsAfterEveryAction() {
        const int actions = envInt("KELMORA_OPERATOR_ACTIONS", 20000);
        const std::uint32_t seed = qEnvironmentVariableIsSet("KELMORA_OPERATOR_SEED")
                                       ? std::uint32_t(envInt("KELMORA_OPERATOR_SEED", 0))
                                       : std::random_device{}();
        qInfo("seed %u, %d actions (KELMORA_OPERATOR_SEED=%u replays it)", seed, actions, seed);

        Main_frm w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        RandomOperator player(w, seed);
        for (int i = 0; i < actions; ++i) {
            const QString broken = player.step(i);
            if (!broken.isEmpty()) {
                QFAIL(qPrintable(QStringLiteral("seed %1, %2").arg(seed).arg(broken)));
            }
        }
        qInfo("%zu frames on the wire; busiest action %lld ms", player.framesSent(),
              static_cast<long long>(player.worstMs()));
    }
};

QTEST_MAIN(RandomOperatorTest)
#include "random_operator_test.moc"
