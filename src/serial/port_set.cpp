#include "port_set.h"

#include "port_name.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// Client area 3270 x 1815 twips at 15 twips per pixel.
constexpr int ClientWidth = 218;
constexpr int ClientHeight = 121;

// The texts the dialog is created with.
const char* const DesignTimePort = "3";
const char* const DesignTimeSpeed = "115200";
constexpr qint32 DesignTimeSpeedValue = 115200;

} // namespace

Port_Set::Port_Set(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("Port_Set"));
    setWindowTitle(QStringLiteral("Port Settings"));
    setModal(false);
    setSizeGripEnabled(false);
    setFixedSize(ClientWidth, ClientHeight);

    createControls();
    Form_Load();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
    }
}

void Port_Set::createControls() {
    Label1 = new QLabel(QStringLiteral("Com Port:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setAccessibleName(Label1->text());
    Label1->setGeometry(8, 10, 88, 24);

    Text_Com = new QComboBox(this);
    Text_Com->setObjectName(QStringLiteral("Text_Com"));
    Text_Com->setEditable(true);
    Text_Com->setInsertPolicy(QComboBox::NoInsert);
    Text_Com->setAccessibleName(QStringLiteral("Com Port"));
    Text_Com->setGeometry(104, 10, 104, 24);
    Text_Com->setEditText(QString::fromLatin1(DesignTimePort));
    Label1->setBuddy(Text_Com);

    Label2 = new QLabel(QStringLiteral("Baudrate:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setAccessibleName(Label2->text());
    Label2->setGeometry(8, 42, 88, 24);

    Text_Baud = new QLineEdit(QString::fromLatin1(DesignTimeSpeed), this);
    Text_Baud->setObjectName(QStringLiteral("Text_Baud"));
    Text_Baud->setAccessibleName(QStringLiteral("Baudrate"));
    Text_Baud->setGeometry(104, 42, 104, 24);
    Text_Baud->setEnabled(false);
    Label2->setBuddy(Text_Baud);

    Command_OK = new QPushButton(QStringLiteral("OK"), this);
    Command_OK->setObjectName(QStringLiteral("Command_OK"));
    Command_OK->setAccessibleName(Command_OK->text());
    Command_OK->setGeometry(16, 84, 88, 28);
    Command_OK->setDefault(true);

    Command_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Command_Cancel->setObjectName(QStringLiteral("Command_Cancel"));
    Command_Cancel->setAccessibleName(Command_Cancel->text());
    Command_Cancel->setGeometry(114, 84, 88, 28);

    setTabOrder(Text_Com, Text_Baud);
    setTabOrder(Text_Baud, Command_OK);
    setTabOrder(Command_OK, Command_Cancel);

    connect(Command_OK, &QPushButton::clicked, this, &Port_Set::Command_OK_Click);
    connect(Command_Cancel, &QPushButton::clicked, this, &Port_Set::Command_Cancel_Click);
}

void Port_Set::Form_Load() {
    const PortSettingsAcceptance accepted = AcceptPortSettings(comText(), baudText());
    if (accepted.ok()) {
        acceptedPort_ = accepted.port;
        acceptedSpeed_ = accepted.speed;
    } else {
        acceptedPort_ = QString::fromLatin1(DesignTimePort);
        acceptedSpeed_ = DesignTimeSpeedValue;
    }
}

QString Port_Set::comText() const {
    return Text_Com->currentText();
}

QString Port_Set::baudText() const {
    return Text_Baud->text();
}

void Port_Set::setComText(const QString& text) {
    Text_Com->setEditText(text);
}

PortSettingsAcceptance Port_Set::presetPort(const QString& port) {
    const PortSettingsAcceptance accepted = AcceptPortSettings(port, baudText());
    if (accepted.ok()) {
        acceptedPort_ = accepted.port;
        acceptedSpeed_ = accepted.speed;
    }
    restoreAcceptedTexts();
    return accepted;
}

void Port_Set::Command_OK_Click() {
    hide();
    const PortSettingsAcceptance accepted = AcceptPortSettings(comText(), baudText());
    if (!accepted.ok()) {
        restoreAcceptedTexts();
        emit inputRefused(accepted.reason);
        return;
    }
    acceptedPort_ = accepted.port;
    acceptedSpeed_ = accepted.speed;
    emit portTextAccepted(AcceptedPortText(acceptedPort_, acceptedSpeed_));
}

void Port_Set::Command_Cancel_Click() {
    restoreAcceptedTexts();
    hide();
}

void Port_Set::restoreAcceptedTexts() {
    Text_Com->setEditText(acceptedPort_);
    Text_Baud->setText(QString::number(acceptedSpeed_));
}

void Port_Set::refreshPortList() {
    const QString text = Text_Com->currentText();
    Text_Com->clear();
    Text_Com->addItems(AvailablePortNames());
    Text_Com->setEditText(text);
}

void Port_Set::showEvent(QShowEvent* event) {
    refreshPortList();
    QDialog::showEvent(event);
    Text_Com->setFocus(Qt::OtherFocusReason);
}

void Port_Set::closeEvent(QCloseEvent* event) {
    // The close box is a Cancel: the edits go, the accepted port stays. A
    // dialog thrown away here would come back with "3" while the port text
    // still named another line.
    restoreAcceptedTexts();
    QDialog::closeEvent(event);
}

void Port_Set::keyPressEvent(QKeyEvent* event) {
    // Esc does not cancel this dialog; only the Cancel button does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
