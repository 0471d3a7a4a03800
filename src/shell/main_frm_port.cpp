// Opening and closing the port, the port lamp and the port settings dialog.

#include "lamp.h"
#include "main_frm.h"
#include "port_set.h"

#include <status_report.h>

#include <QLabel>
#include <QPushButton>

void Main_frm::Command1_Click() {
    // Each step may fail; the handler then stops where it is, leaving the
    // window in the closed state, and says why. The port is the accepted
    // one, which the port text names: an edit still open in Com Settings...
    // is not a choice yet.
    Port_Set& dialog = portSettings();
    const SerialResult numbered = MSComm1.setCommPort(dialog.acceptedPort());
    if (!numbered.ok) {
        refuseOpen(numbered.reason);
        return;
    }
    const SerialResult settings =
        MSComm1.setSettings(QString::number(dialog.acceptedSpeed()) + ",n,8,1");
    if (!settings.ok) {
        refuseOpen(settings.reason);
        return;
    }
    if (!MSComm1.isOpen()) {
        const SerialResult opened = MSComm1.open();
        if (!opened.ok) {
            showStatus("Open Port: " + opened.reason);
            return;
        }
    }
    enterOpenState();
    showStatus("Port " + MSComm1.portLocation() + " open");
}

void Main_frm::Command2_Click() {
    if (MSComm1.isOpen()) {
        MSComm1.close();
    }
    logReceivedBlocks(); // those read before the port closed
    enterClosedState();
    showStatus("Port closed");
}

void Main_frm::refuseOpen(const QString& reason) {
    showStatus("Open Port: " + reason);
    emit portStateChanged(false, MSComm1.portLocation(), reason);
}

void Main_frm::enterOpenState() {
    ui.Command1->setDefault(false);
    ui.Command1->setEnabled(false);
    ui.Command2->setEnabled(true);
    ui.Command2->setDefault(true);
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Yellow));
    Timer1.start();
    emit portStateChanged(true, MSComm1.portLocation(), {});
}

void Main_frm::enterClosedState(const QString& failure) {
    ui.Label_Com->setText(acceptedPortText_);
    ui.Command2->setDefault(false);
    ui.Command2->setEnabled(false);
    ui.Command1->setEnabled(true);
    ui.Command1->setDefault(true);
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Red));
    Timer1.stop();
    emit portStateChanged(false, MSComm1.portLocation(), failure);
}

void Main_frm::portLost(const QString& reason) {
    // The port went away under us (adapter pulled, peer closed): the same
    // state Close Port leaves, with the reason; the history stays.
    if (MSComm1.isOpen()) {
        MSComm1.close();
    }
    logReceivedBlocks(); // those read before the line went
    enterClosedState(reason);
    showStatus("Port closed: " + reason);
}

void Main_frm::Timer1_Timer() {
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Yellow));
}

void Main_frm::opt_Click() {
    Port_Set& dialog = portSettings();
    if (!dialog.isVisible()) {
        dialog.show();
    }
    dialog.raise();
    dialog.activateWindow();
}

void Main_frm::Com_Com_Set_Click() {
    opt_Click();
}

void Main_frm::Label_Com_DblClick() {
    opt_Click();
}
