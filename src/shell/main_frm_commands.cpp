// The command handlers: each reads its controls at the moment of the click,
// builds its frame with the protocol core and hands it to the send path. A
// box that does not convert stops the command before anything is logged or
// written; the box is marked and the reason shown.

#include "main_frm.h"

#include <command_frames.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>

namespace {
std::string textOf(const QLineEdit* box) {
    return box->text().toStdString();
}
} // namespace

char Main_frm::decimalSeparator() const {
    const QString point = locale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) {
        return static_cast<char>(point.at(0).unicode());
    }
    return '.';
}

std::uint8_t Main_frm::GetRampenbits() const {
    std::array<bool, 8> checked{};
    for (std::size_t i = 0; i < checked.size(); ++i) {
        checked[i] = ui.Check1[i]->isChecked();
    }
    return ::GetRampenbits(checked);
}

void Main_frm::com_move_xy_Click() {
    sendMove(AxisPair::XY);
}

void Main_frm::com_move_zc_Click() {
    sendMove(AxisPair::ZC);
}

void Main_frm::sendMove(AxisPair pair) {
    MoveSetup setup;
    setup.units = ui.Option1[0]->isChecked() ? Units::Steps : Units::Millimetres;
    setup.v_end = textOf(ui.v_end);
    setup.num_coord = textOf(ui.num_coord);
    for (std::size_t row = 0; row < 6; ++row) {
        setup.x_z[row] = textOf(ui.x_z[row]);
        setup.y_c[row] = textOf(ui.y_c[row]);
    }
    for (std::size_t i = 0; i < 8; ++i) {
        setup.rampChecked[i] = ui.Check1[i]->isChecked();
    }
    const BuiltFrame frame =
        BuildMoveFrame(setup, pair, channel_.frame_counter(), decimalSeparator());
    if (!frame.ok()) {
        reportInputError(*frame.error);
        return;
    }
    clearInputMarks({ui.v_end, ui.num_coord});
    clearInputMarks(ui.x_z);
    clearInputMarks(ui.y_c);
    sendFrame(frame.hexText, pair == AxisPair::XY ? "Drive X / Y" : "Drive Z / C");
}

void Main_frm::Command3_Click() {
    std::array<Axis, 4> order{};
    for (std::size_t k = 0; k < 4; ++k) {
        if (ui.Option2[k]->isChecked()) {
            order[k] = Axis::X;
        } else if (ui.Option3[k]->isChecked()) {
            order[k] = Axis::Y;
        } else if (ui.Option4[k]->isChecked()) {
            order[k] = Axis::Z;
        } else {
            order[k] = Axis::C;
        }
    }
    sendReferenceRun(BuildReferenceRunFrame(order), "Referenzfahren");
}

void Main_frm::Nullpunkt_setzen_Click() {
    const Units units = ui.null_step_option->isChecked() ? Units::Steps : Units::Millimetres;
    const std::array<std::string, 4> values{textOf(ui.Null_x), textOf(ui.Null_y), textOf(ui.Null_z),
                                            textOf(ui.Null_c)};
    const BuiltFrame frame = BuildZeroPointFrame(units, values, decimalSeparator());
    if (!frame.ok()) {
        reportInputError(*frame.error);
        return;
    }
    clearInputMarks({ui.Null_x, ui.Null_y, ui.Null_z, ui.Null_c});
    sendFrame(frame.hexText, "Nullpunkt setzen");
}

void Main_frm::Zusatzsignale_schalten_Click() {
    sendFrame(BuildAuxiliarySignalsFrame(ui.spindel_check->isChecked(), ui.cool_check->isChecked()),
              "Zusatzsignale");
}

void Main_frm::Modechange_Click() {
    sendFrame(BuildModeChangeFrame(ui.to_mode_1->isChecked()), "Moduswechsel");
}

void Main_frm::Com_Refresh_Click() {
    sendFrame(BuildStatusRequestFrame(channel_.frame_counter()), "Refresh Status");
}

void Main_frm::Statem_timer_Timer() {
    Com_Refresh_Click();
}

void Main_frm::check_autorefresh_Click() {
    // Ticked: a status request every second; requests made while the port
    // is closed are dropped by the send path.
    if (ui.check_autorefresh->isChecked()) {
        Statem_timer.start();
    } else {
        Statem_timer.stop();
    }
}

void Main_frm::sendFrame(const std::string& hexText, const QString& command) {
    afterSend(channel_.SendCommandFrame(hexText), command);
}

void Main_frm::sendReferenceRun(const std::string& frameText, const QString& command) {
    afterSend(channel_.SendReferenceRunFrame(frameText), command);
}

void Main_frm::afterSend(SendResult result, const QString& command) {
    switch (result.outcome) {
    case SendOutcome::Sent:
        // A frame went out: a message that says a command sent nothing no
        // longer describes the line, and an operator who believed it would
        // send again.
        if (refusalShown_) {
            statusBar()->clearMessage();
            refusalShown_ = false;
        }
        return;
    case SendOutcome::PortClosed:
        return; // a command on a closed port does nothing, as designed
    case SendOutcome::WriteFailed:
    case SendOutcome::PartlyWritten: {
        // The same state as a lost port, with what became of the frame.
        const QString reason = MSComm1.lastWriteError();
        MSComm1.close();
        enterClosedState(result.outcome == SendOutcome::WriteFailed
                             ? "the port refused a frame (" + reason + ")"
                             : QStringLiteral("the line took %1 of %2 bytes of a frame")
                                   .arg(result.bytesTaken)
                                   .arg(kCommandFrameSize));
        if (result.outcome == SendOutcome::WriteFailed) {
            showStatus(command + ": the port refused the frame (" + reason +
                       "); nothing was sent; port closed");
        } else {
            // Its first bytes are on the line: the controller may take them
            // for the start of a frame, so the operator must know.
            showStatus(command + QStringLiteral(": the line took %1 of %2 bytes; the controller "
                                                "may have received a partial frame; port closed")
                                     .arg(result.bytesTaken)
                                     .arg(kCommandFrameSize));
        }
        // Only "nothing was sent" stops being true once a frame goes out.
        refusalShown_ = result.outcome == SendOutcome::WriteFailed;
        return;
    }
    }
}

void Main_frm::clearInputMarks(std::initializer_list<QLineEdit*> boxes) {
    for (QLineEdit* box : boxes) {
        if (box->property("inputError").toBool()) {
            box->setProperty("inputError", false);
            box->setToolTip({});
            box->style()->unpolish(box);
            box->style()->polish(box);
        }
    }
}

void Main_frm::clearInputMarks(const std::array<QLineEdit*, 6>& boxes) {
    for (QLineEdit* box : boxes) {
        clearInputMarks({box});
    }
}

void Main_frm::reportInputError(const InputError& error) {
    auto* box = form_->findChild<QLineEdit*>(QString::fromStdString(error.control));
    const QString reason = QString::fromStdString(error.error.reason);
    if (box != nullptr) {
        box->setProperty("inputError", true);
        box->setToolTip(reason);
        box->style()->unpolish(box);
        box->style()->polish(box);
    }
    showStatus(QString::fromStdString(error.label) + ": " + reason + " (\"" +
               (box != nullptr ? box->text() : QString()) + "\"); nothing was sent");
    refusalShown_ = true;
}
