#pragma once
// Port_Set, the port settings dialog: the port (a number or a device name)
// and the speed for the next Open Port. Modeless; the main window reads the
// two boxes whenever it opens the port, accepted or not.
//
// The accepted port and speed are the ones the next Open Port uses: the main
// window shows them as its port text, and whatever the boxes hold beyond
// them is only an edit in progress.
//
// OK hides the dialog and accepts the boxes, announcing the new port text;
// texts that do not convert are refused, the boxes go back to the accepted
// values and the refusal is announced instead. Cancel and the close box put
// the accepted values back and hide. Esc does nothing.

#include "port_settings_text.h"

#include <QDialog>
#include <QString>

class QCloseEvent;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

class Port_Set : public QDialog {
    Q_OBJECT

public:
    explicit Port_Set(QWidget* parent = nullptr);

    QString comText() const;
    QString baudText() const;
    // Types into the port box, as the operator would; nothing is accepted.
    void setComText(const QString& text);
    // Puts `port` into the box and accepts it, as if OK had been pressed
    // before the main window showed its port text (the --port option).
    // A text that does not convert is refused and the accepted port stays.
    PortSettingsAcceptance presetPort(const QString& port);

    QString acceptedPort() const { return acceptedPort_; }
    qint32 acceptedSpeed() const { return acceptedSpeed_; }

signals:
    // "Com 4 115200,8,n,1", after OK accepted the boxes.
    void portTextAccepted(const QString& portText);
    // After OK refused the boxes: why, for the operator.
    void inputRefused(const QString& reason);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void Form_Load();
    void Command_OK_Click();
    void Command_Cancel_Click();
    void restoreAcceptedTexts();
    void refreshPortList();

    QLabel* Label1 = nullptr;
    QComboBox* Text_Com = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text_Baud = nullptr;
    QPushButton* Command_OK = nullptr;
    QPushButton* Command_Cancel = nullptr;

    QString acceptedPort_;
    qint32 acceptedSpeed_ = 0;
};
