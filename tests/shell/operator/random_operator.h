#pragma once
// A randomized operator. It plays clicks at real positions, keys tapped and
// held (with the auto-repeat a keyboard sends), the menu bar's keyboard mode,
// typing good and bad texts, the port settings dialog, Autorefresh, and a
// controller that goes away, comes back, or stops reading until the line's
// buffer is full, against the real console on real pseudo-terminals. Most of
// a run is spent with the port open to a live controller. After every action
// it checks what the operator must be able to rely on:
//   (a) every frame on the wire comes from one action that asks for a frame
//       on an open port, and each such action with valid boxes sends one;
//   (b) the frame is what the protocol core builds from the boxes at that
//       moment, with the expected counter;
//   (c) the history's sent lines since the last clear are exactly the
//       frames on the wire, in order;
//   (d) the console has open the device the port text names, and an Open
//       Port on a text that names the live controller opens it;
//   (e) no status text says "nothing was sent" once a frame has gone out;
//   (f) no action keeps the window busy for more than 100 ms;
//   (g) whatever a key does, it does once per physical press, however long
//       the key is held: at most one clear, one port change, one frame, one
//       shortcut (F1, Ctrl+S); and nothing at all while the menu bar or a
//       menu has the keyboard;
//   (h) a check box or option changes only when the operator clicked it, or
//       pressed Space (or an arrow, in its group) on it after moving there
//       with Tab, and flips at most once an action however long a key is
//       held; Autorefresh runs exactly while its box is ticked;
//   (i) a frame the line does not take whole is refused: not counted, not
//       in the history, the port closed and the refusal said as it is (no
//       byte out, or how many reached the controller); the bytes it took are
//       on the wire and nothing after them;
//   (j) nothing thrown leaves an event handler;
//   (k) at the end, the run's capture (recorded all along) holds every
//       frame written and every refused frame's bytes the line took, in
//       order, and nothing else outbound;
//   (l) a button in the console shows the focus frame exactly when the
//       operator moved to it with Tab (a trip into the menu bar and back,
//       or to another window, keeps it there): Enter and Space act on what
//       the screen shows.

#include "operator_input.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

class Main_frm;
class Port_Set;
class PtyPeer;
class QAbstractButton;
class QLineEdit;
class QPushButton;

struct OperatorFigures {
    std::size_t actions = 0;
    std::size_t actionsWithLiveLine = 0;
    std::size_t framesOnWire = 0;
    std::size_t framesRefused = 0;
    std::size_t framesPartlyTaken = 0;
    std::size_t heldKeys = 0;
    std::size_t menuKeys = 0;
    long long busiestMs = 0;
};

class RandomOperator {
public:
    RandomOperator(Main_frm& window, OperatorInput& hands, std::uint32_t seed);
    ~RandomOperator();

    // Runs one action and checks every invariant; a message when one broke.
    QString step(int number);
    // The last actions played, oldest first, for the regression case.
    QStringList recentActions() const;
    const OperatorFigures& figures() const { return figures_; }
    // Ends the recording and checks (k); a message when it broke.
    QString checkCapture();
    // Something thrown reached the application's last handler.
    void noteEscapedException(const QString& what) { escaped_ = what; }

private:
    int pick(int n);
    template <typename T> T pickOf(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(pick(int(items.size())))];
    }

    Port_Set* dialog() const;
    bool dialogShown() const;
    bool consoleShowsOpen() const;
    bool frameCanGoOut() const;
    bool menuHasKeyboard() const;
    bool namesLivePeer() const;

    void perform(QString& action);
    void loseController();
    void bringPeerBack();
    void stallController(QString& action);
    void resumeController(QString& action);

    void clickAt(QWidget* widget);
    void clickCommand(QString& action);
    void clickPortStrip(QString& action);
    void clickChoice(QString& action);
    void clickHistoryLine(QString& action);
    bool keyboardGoesNowhere(QString& action);
    void tapMenuKey(QString& action);
    void pressKey(QString& action);
    void openPortForOperator(QString& action);
    void repairPortText(QString& action);
    QString someText(bool portBox);
    void typeInto(QLineEdit* box, const QString& text);
    void typeIntoBox(QString& action);
    void offerOnlyThePeer();
    void useDialog(QString& action);

    std::optional<QByteArray> frameFor(QPushButton* button) const;
    void expectFrame(const QByteArray& frame);
    void expectRefused(const QByteArray& frame);
    template <typename Act> void expectPress(QPushButton* button, Act act);
    void tickAutorefresh(QString& action);
    void beforeTick();
    void afterPortAction();
    void takeWire();
    void allowChoiceChanges(QAbstractButton* button);
    QString check();
    QString checkChoices();

    Main_frm& w_;
    OperatorInput& hands_;
    std::mt19937 rng_;
    std::unique_ptr<PtyPeer> peer_;
    std::vector<int> deadLines_;
    QByteArray pending_;
    std::vector<QByteArray> wireFrames_;
    std::vector<QByteArray> expected_;
    // What the console wrote, in order: frames, and what the line took of
    // refused ones.
    std::vector<QByteArray> written_;
    QTemporaryDir captureDir_;
    std::size_t checked_ = 0;
    std::size_t framesAtClear_ = 0;
    std::size_t framesAtRefusal_ = 0;
    std::uint8_t counter_ = 0;
    bool linkLive_ = false;
    bool openAskedOfLivePeer_ = false;
    // The controller has stopped reading and its buffer is full: the
    // console's next write is refused. `fillerLeft_` bytes of filler wait
    // on the line ahead of anything the console writes after.
    bool stalled_ = false;
    qint64 fillerLeft_ = 0;
    int refusalsExpected_ = 0;
    // The room the stalled line has left for part of a frame; the bytes the
    // driver took of a refused frame, still to be read, and how many it took
    // of the one refused in this action.
    int roomLeft_ = 0;
    QByteArray partialBytes_;
    int refusedTaken_ = 0;
    QString partialMismatch_;
    // The button the operator moved to with Tab, while it keeps the focus.
    QPointer<QAbstractButton> deliberate_;
    // Per action: clears and port changes seen, and what the action allows.
    int clears_ = 0;
    int clearsExpected_ = 0;
    int portChanges_ = 0;
    bool keyAction_ = false;
    bool menuKeyAction_ = false;
    bool shortcutKey_ = false; // F1 or Ctrl+S
    int shortcutsFired_ = 0;
    std::map<QAbstractButton*, bool> choicesBefore_;
    std::map<QAbstractButton*, int> toggles_;
    std::vector<QAbstractButton*> choicesMayChange_;
    std::vector<QAbstractButton*> choicesMustToggle_;
    QString escaped_;
    std::deque<QString> recent_;
    QStringList saidDuringAction_;
    OperatorFigures figures_;
    bool trace_ = false;
    bool dialogPlaced_ = false; // where the window manager put it, known to Qt
};
