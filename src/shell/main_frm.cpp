#include "main_frm.h"

#include "console_accessibility.h"
#include "console_application.h"
#include "display_refresh.h"
#include "float_window.h"
#include "follow_newest.h"
#include "history_model.h"
#include "history_recorder.h"
#include "history_recording.h"
#include "kelmora_version.h"
#include "key_preview.h"
#include "lamp.h"
#include "port_name.h"
#include "port_set.h"
#include "save_history_command.h"
#include "system_tick.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>

#include <cstdio>

namespace {
constexpr int kClientWidth = 808;  // 12120 twips
constexpr int kClientHeight = 539; // 8085 twips
} // namespace

Main_frm::Main_frm(QWidget* parent)
    : QMainWindow(parent), history_(new HistoryModel(this)), datasets_(new HistoryModel(this)),
      tick_(SystemTickCount),
      log_(*datasets_, *history_, [this]() -> HistoryModel& { return floatWindow().model(); }),
      link_(MSComm1), channel_(link_, log_) {
    setObjectName("Main_frm");
    setWindowTitle("Kelmora");
    refresh_ = new DisplayRefresh(this, [this] { showWaitingDisplay(); });
    MSComm1.receiveOnThread([this] { return tick_(); });
    log_.setBeforeLine([this] { logReceivedBlocks(); });
    paceListModel(*history_);
    paceListModel(*datasets_);

    form_ = new QWidget(this);
    form_->setObjectName("form");
    form_->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(form_);
    BuildMainControls(form_, ui);
    ui.List1->setModel(history_);
    ui.List2->setModel(datasets_);
    FollowNewest::install(ui.List1);
    FollowNewest::install(ui.List2);
    applyConsoleStyle();
    buildMenus();
    statusBar()->setObjectName("statusBar");
    statusBar()->setSizeGripEnabled(true);
    MakeReadingsAccessible(ui, statusBar(), this);

    Timer1.setObjectName("Timer1");
    Timer1.setInterval(500);
    Statem_timer.setObjectName("Statem_timer");
    Statem_timer.setInterval(1000);

    keyPreview_ = new KeyPreview(this);
    if (ConsoleApplication* app = ConsoleApplication::instance()) {
        connect(app, &ConsoleApplication::handlerFailed, this, [this](const QString& what) {
            showStatus("Internal fault (" + what +
                       "); the console carries on, the history is kept");
        });
    }

    connectHandlers();
    Form_Load();
    pathChooser_ = [this] { return ChooseHistoryPathWithDialog(this); };
    saveCommand_ = std::make_unique<SaveHistoryCommand>(*history_, versionText_,
                                                        [this] { return pathChooser_(); });
    // A capture starting holds the blocks read from then on: those read
    // before are logged first, outside it.
    recording_ = new HistoryRecording(
        *history_, versionText_, recordHistory, statusBar(),
        [this] {
            logReceivedBlocks();
            return lineInUse();
        },
        this);
    recording_->setPathChooser([this] { return ChooseRecordingPathWithDialog(this); });
    connect(recording_, &HistoryRecording::statusText, this, &Main_frm::showStatus);
    link_.setWrittenTap([this](const std::uint8_t* data, std::size_t size, std::int64_t at) {
        recording_->recorder().noteFrameWritten(data, size, at);
    });

    // The controls were registered at their design-time places; from now on
    // the form follows the window.
    form_->setMinimumSize(0, 0);
    form_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(kClientWidth,
           kClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

Main_frm::~Main_frm() {
    // The other windows go with the main window; nothing is asked or sent.
    // A recording ends before the history it writes goes. The receiving
    // thread reads this window's tick source: it ends first.
    MSComm1.close();
    endRecording();
    delete float_.data();
    delete portSet_.data();
}

void Main_frm::Form_Load() {
    ui.null_step_option->setChecked(true);

    const char* xz[6] = {"50", "-50", "-50", "50", "0", "0"};
    const char* yc[6] = {"50", "50", "-50", "-50", "0", "0"};
    for (int row = 0; row < 6; ++row) {
        ui.x_z[row]->setText(xz[row]);
        ui.y_c[row]->setText(yc[row]);
    }

    ui.Option2[0]->setChecked(true);
    ui.Option3[1]->setChecked(true);
    ui.Option4[2]->setChecked(true);
    ui.Option5[3]->setChecked(true);

    versionText_ = kelmora::kVersionText;

    layout_.SetLayout(form_);
    layoutRegistered_ = true;

    showPortText();
}

void Main_frm::showPortText() {
    Port_Set& dialog = portSettings();
    showAcceptedPortText("Com " + dialog.comText() + " " + dialog.baudText() + ",n,8,1");
}

void Main_frm::showAcceptedPortText(const QString& portText) {
    acceptedPortText_ = portText;
    if (!MSComm1.isOpen()) {
        ui.Label_Com->setText(portText);
        return;
    }
    // The port text names the line in use for as long as it is open.
    showStatus(portText + " is taken at the next Open Port; " + MSComm1.portLocation() +
               " stays open until Close Port");
}

CapturedLine Main_frm::lineInUse() {
    if (MSComm1.isOpen()) {
        return {MSComm1.portLocation(), MSComm1.settings()};
    }
    Port_Set& dialog = portSettings();
    return {ResolvePortName(dialog.acceptedPort()).systemLocation,
            QString::number(dialog.acceptedSpeed()) + ",n,8,1"};
}

void Main_frm::presetPort(const QString& port) {
    const PortSettingsAcceptance accepted = portSettings().presetPort(port);
    if (!accepted.ok()) {
        showStatus("--port " + port + ": " + accepted.reason);
        return;
    }
    showPortText();
}

void Main_frm::Form_Resize() {
    if (layoutRegistered_) {
        layout_.RedrawLayout();
    }
}

void Main_frm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

Float& Main_frm::floatWindow() {
    if (!float_) {
        float_ = new Float(this);
        paceListModel(float_->model());
    }
    return *float_;
}

void Main_frm::paceListModel(HistoryModel& model) {
    model.setAnnounceLater(true);
    connect(&model, &HistoryModel::waitingForAnnouncement, refresh_, &DisplayRefresh::request);
}

void Main_frm::showPendingDisplay() {
    logReceivedBlocks();
    refresh_->showNow();
}

void Main_frm::showWaitingDisplay() {
    history_->announceWaiting();
    datasets_->announceWaiting();
    if (float_) {
        float_->model().announceWaiting();
    }
    if (statusToShow_) {
        showStatusReport(*statusToShow_);
        statusToShow_.reset();
    }
}

Port_Set& Main_frm::portSettings() {
    if (!portSet_) {
        portSet_ = new Port_Set(this);
        connect(portSet_, &Port_Set::portTextAccepted, this, &Main_frm::showAcceptedPortText);
        connect(portSet_, &Port_Set::inputRefused, this, &Main_frm::showStatus);
    }
    return *portSet_;
}

void Main_frm::float_on_off_Click() {
    Float& window = floatWindow();
    if (window.isVisible()) {
        window.hide();
    } else {
        window.show();
        window.raise();
    }
}

void Main_frm::Beenden_Click() {
    close();
}

void Main_frm::endRecording() {
    // The window is closing: its status bar would tell nobody. The file's
    // missing end is said where the console was started from, and in its
    // exit status (main.cpp).
    logReceivedBlocks();
    const QString incomplete = recording_->finish();
    if (!incomplete.isEmpty()) {
        std::fprintf(stderr, "kelmora: %s\n", incomplete.toLocal8Bit().constData());
    }
}

void Main_frm::Form_Unload() {
    // Unload every other window, hidden ones included; the port is released
    // together with the serial connection object. A recording ends with
    // every line written and synced, or says that it could not.
    endRecording();
    if (float_) {
        float_->close();
        delete float_.data();
    }
    if (positionPlot_) {
        positionPlot_->close();
        delete positionPlot_.data();
    }
    if (portSet_) {
        portSet_->hide();
        delete portSet_.data();
    }
}

void Main_frm::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

QString Main_frm::statusMessage() const {
    return statusBar()->currentMessage();
}

void Main_frm::showStatus(const QString& text) {
    refusalShown_ = false;
    meaningShown_.clear();
    statusBar()->showMessage(text);
}

void Main_frm::buildMenus() {
    QMenu* Ablage = menuBar()->addMenu("File");
    Ablage->setObjectName("Ablage");
    Speichern = Ablage->addAction("Save History...");
    Speichern->setObjectName("Speichern");
    Speichern->setShortcut(QKeySequence("Ctrl+S"));
    recordHistory = Ablage->addAction("Record History to File...");
    recordHistory->setObjectName("recordHistory");
    Print = Ablage->addAction("Print History...");
    Print->setObjectName("Print");
    Ablage->addSeparator()->setObjectName("kein");
    Beenden = Ablage->addAction("Quit");
    Beenden->setObjectName("Beenden");
    Beenden->setShortcut(QKeySequence("Ctrl+Q"));

    QMenu* Bearbeiten = menuBar()->addMenu("Edit");
    Bearbeiten->setObjectName("Bearbeiten");
    Copy = Bearbeiten->addAction("Copy");
    Copy->setObjectName("Copy");
    Copy->setShortcut(QKeySequence("Ctrl+C"));
    Bearbeiten->addSeparator()->setObjectName("test");
    opt = Bearbeiten->addAction("Com Settings");
    opt->setObjectName("opt");

    QMenu* Anischt = menuBar()->addMenu("View");
    Anischt->setObjectName("Anischt");
    float_on_off = Anischt->addAction("Toggle Floating Window");
    float_on_off->setObjectName("float_on_off");
    float_on_off->setShortcut(QKeySequence(Qt::Key_F1));
    position_plot = Anischt->addAction("Position Plot");
    position_plot->setObjectName("position_plot");
}

void Main_frm::connectHandlers() {
    connect(ui.Command1, &QPushButton::clicked, this, &Main_frm::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, this, &Main_frm::Command2_Click);
    connect(ui.Com_Com_Set, &QPushButton::clicked, this, &Main_frm::Com_Com_Set_Click);
    connect(&Timer1, &QTimer::timeout, this, &Main_frm::Timer1_Timer);
    connect(&MSComm1, &SerialConnection::onComm, this, &Main_frm::MSComm1_OnComm);
    connect(&MSComm1, &SerialConnection::portLost, this, &Main_frm::portLost);
    connect(&MSComm1, &SerialConnection::blocksReceived, this, &Main_frm::logReceivedBlocks);

    connect(ui.com_move_xy, &QPushButton::clicked, this, &Main_frm::com_move_xy_Click);
    connect(ui.com_move_zc, &QPushButton::clicked, this, &Main_frm::com_move_zc_Click);
    connect(ui.Command3, &QPushButton::clicked, this, &Main_frm::Command3_Click);
    connect(ui.Nullpunkt_setzen, &QPushButton::clicked, this, &Main_frm::Nullpunkt_setzen_Click);
    connect(ui.Zusatzsignale_schalten, &QPushButton::clicked, this,
            &Main_frm::Zusatzsignale_schalten_Click);
    connect(ui.Modechange, &QPushButton::clicked, this, &Main_frm::Modechange_Click);
    connect(ui.Com_Refresh, &QPushButton::clicked, this, &Main_frm::Com_Refresh_Click);
    connect(&Statem_timer, &QTimer::timeout, this, &Main_frm::Statem_timer_Timer);
    connect(ui.check_autorefresh, &QCheckBox::clicked, this, &Main_frm::check_autorefresh_Click);

    connect(ui.Com_ClrHis, &QPushButton::clicked, this, &Main_frm::Com_ClrHis_Click);
    connect(ui.Command_Save_His, &QPushButton::clicked, this, &Main_frm::Speichern_Click);
    connect(Speichern, &QAction::triggered, this, &Main_frm::Speichern_Click);
    connect(Print, &QAction::triggered, this, &Main_frm::Print_Click);
    connect(Copy, &QAction::triggered, this, &Main_frm::Copy_Click);
    connect(opt, &QAction::triggered, this, &Main_frm::opt_Click);
    connect(float_on_off, &QAction::triggered, this, &Main_frm::float_on_off_Click);
    connect(position_plot, &QAction::triggered, this, &Main_frm::PositionPlot_Click);
    connect(ui.List1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Main_frm::showSelectedLineMeaning);
    connect(ui.List1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Main_frm::showSelectedLineMeaning);
    connect(history_, &QAbstractItemModel::modelReset, this, &Main_frm::showSelectedLineMeaning);
    // The list hears of a clear at its next refresh; the line's meaning goes now.
    connect(history_, &HistoryModel::cleared, this, &Main_frm::forgetLineMeaning);
    connect(Beenden, &QAction::triggered, this, &Main_frm::Beenden_Click);

    // Double clicks on a label and on the dataset list's empty area alike.
    ui.Label_Com->installEventFilter(this);
    ui.List2->viewport()->installEventFilter(this);

    // Editing a box clears the mark a refused command left on it.
    for (QLineEdit* box : form_->findChildren<QLineEdit*>()) {
        connect(box, &QLineEdit::textEdited, this, [this, box] { clearInputMarks({box}); });
    }
}

bool Main_frm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == ui.Label_Com) {
            Label_Com_DblClick();
            return true;
        }
        if (watched == ui.List2->viewport()) {
            List2_DblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
