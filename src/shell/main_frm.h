#pragma once
// The console's main window: it composes the areas, owns the serial
// connection, the timers, the lists and the other windows, and routes every
// event to its handler. The handlers live in files by subject
// (main_frm_port.cpp, main_frm_receive.cpp, main_frm_commands.cpp, ...).

#include "clsLayout.h"
#include "console_log.h"
#include "float_window.h"
#include "main_controls.h"
#include "port_set.h"
#include "serial_connection.h"

#include <command_frames.h>
#include <frames/command_channel.h>
#include <status_report.h>

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class DisplayRefresh;
struct CapturedLine;
class HistoryModel;
class HistoryRecording;
class KeyPreview;
class QAction;
class QLineEdit;
class QMenu;
class SaveHistoryCommand;
struct InputError;

class Main_frm : public QMainWindow {
    Q_OBJECT
public:
    explicit Main_frm(QWidget* parent = nullptr);
    ~Main_frm() override;

    MainControls ui;
    SerialConnection MSComm1;
    QTimer Timer1;
    QTimer Statem_timer;

    QAction* Speichern = nullptr;
    QAction* recordHistory = nullptr;
    QAction* Print = nullptr;
    QAction* Beenden = nullptr;
    QAction* Copy = nullptr;
    QAction* opt = nullptr;
    QAction* float_on_off = nullptr;
    QAction* position_plot = nullptr;

    // The floating window and the port settings dialog exist at most once;
    // these create them, hidden, on first use.
    Float& floatWindow();
    Float* existingFloatWindow() const { return float_; }
    Port_Set& portSettings();
    Port_Set* existingPortSettings() const { return portSet_; }

    HistoryModel& history() { return *history_; }
    HistoryModel& datasets() { return *datasets_; }
    CommandChannel& channel() { return channel_; }
    const QString& versionText() const { return versionText_; }
    QString statusMessage() const;

    // Milliseconds since the system started, as a signed 32-bit count;
    // replaceable so the timing of blocks can be tested. It is read on the
    // receiving thread: set it while the port is closed.
    void setTickSource(std::function<std::int32_t()> tick) { tick_ = std::move(tick); }
    // The save dialog's answer: a path, or nothing when cancelled.
    void setHistoryPathChooser(std::function<std::optional<QString>()> chooser) {
        pathChooser_ = std::move(chooser);
    }
    const SaveHistoryCommand& saveCommand() const { return *saveCommand_; }
    // File > Record History to File... and the --record option.
    HistoryRecording& recording() { return *recording_; }

    // Presets and accepts the port (the --port option), with the port text
    // showing it the way start-up does; a port that does not convert is
    // refused in the status bar and the port stays as it was.
    void presetPort(const QString& port);

    // Decodes the block at once; the status panel shows it at the next
    // screen refresh.
    void display_input(std::string_view block);
    // Brings the lists and the status panel up to every frame received and
    // sent so far, now rather than at the next screen refresh (for tests,
    // and whoever must read the display right after a frame).
    void showPendingDisplay();
    std::uint8_t GetRampenbits() const;
    void Form_KeyPress(std::int16_t KeyAscii);

signals:
    // The port opened or closed; `failure` says why it closed or would not
    // open (empty for Close Port), for whoever tells the outside world.
    void portStateChanged(bool open, const QString& device, const QString& failure);

public slots:
    void Command1_Click();
    void Command2_Click();
    void Com_Com_Set_Click();
    void opt_Click();
    void Label_Com_DblClick();
    void Timer1_Timer();
    void MSComm1_OnComm();
    // Logs every block the receiving thread has read since the last call.
    void logReceivedBlocks();

    void com_move_xy_Click();
    void com_move_zc_Click();
    void Command3_Click();
    void Nullpunkt_setzen_Click();
    void Zusatzsignale_schalten_Click();
    void Modechange_Click();
    void Com_Refresh_Click();
    void Statem_timer_Timer();
    void check_autorefresh_Click();

    void Com_ClrHis_Click();
    void List2_DblClick();
    void Speichern_Click();
    void Print_Click();
    void Copy_Click();

    void float_on_off_Click();
    void PositionPlot_Click();
    void Beenden_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void endRecording();
    void showPortText();
    CapturedLine lineInUse();
    void showAcceptedPortText(const QString& portText);
    void buildMenus();
    void connectHandlers();
    void applyConsoleStyle();

    void showWaitingDisplay();
    void showStatusReport(const StatusReport& report);
    void paceListModel(HistoryModel& model);

    void sendMove(AxisPair pair);
    void sendFrame(const std::string& hexText, const QString& command);
    void sendReferenceRun(const std::string& frameText, const QString& command);
    void afterSend(SendResult result, const QString& command);
    void reportInputError(const InputError& error);
    void clearInputMarks(std::initializer_list<QLineEdit*> boxes);
    void clearInputMarks(const std::array<QLineEdit*, 6>& boxes);
    void showStatus(const QString& text);
    // The status bar reads the selected history line's meaning while that
    // line is selected.
    void showSelectedLineMeaning();
    void forgetLineMeaning();
    void enterClosedState(const QString& failure = {});
    void enterOpenState();
    void refuseOpen(const QString& reason);
    void portLost(const QString& reason);
    char decimalSeparator() const;

    QWidget* form_ = nullptr;
    HistoryModel* history_ = nullptr;
    HistoryModel* datasets_ = nullptr;
    DisplayRefresh* refresh_ = nullptr;
    std::optional<StatusReport> statusToShow_; // decoded, not yet shown
    QPointer<Float> float_;
    QPointer<Port_Set> portSet_;
    clsLayout layout_;
    bool layoutRegistered_ = false;
    QString versionText_;
    // The port text of the accepted port: what the next Open Port opens. An
    // open port keeps its own port text until it is closed.
    QString acceptedPortText_;
    // The status bar says that a command sent nothing.
    bool refusalShown_ = false;
    // The meaning of a selected history line the status bar shows, if any.
    QString meaningShown_;
    QPointer<QWidget> positionPlot_;
    std::function<std::int32_t()> tick_;
    std::vector<ReceivedRecord> received_; // kept for its capacity
    ConsoleLog log_;
    SerialLink link_;
    CommandChannel channel_;
    std::function<std::optional<QString>()> pathChooser_;
    std::unique_ptr<SaveHistoryCommand> saveCommand_;
    HistoryRecording* recording_ = nullptr;
    KeyPreview* keyPreview_ = nullptr;
};
