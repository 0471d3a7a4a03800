// The receive path on the user-interface thread: the blocks the receiving
// thread has read and timed (BlockReceiver) are logged here in batches, in
// the order they were read, and the newest is decoded for the status panel.
// Everything that adds or clears a line, or reads the lists, logs the
// waiting blocks first, so a line stands where it would had each block been
// logged the moment it was read.

#include "display_refresh.h"
#include "float_window.h"
#include "history_model.h"
#include "history_recorder.h"
#include "history_recording.h"
#include "lamp.h"
#include "main_frm.h"

#include <received_line.h>
#include <status_report.h>

void Main_frm::MSComm1_OnComm() {
    // Error and line-state notifications only: blocks come through
    // logReceivedBlocks().
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Green));
}

void Main_frm::logReceivedBlocks() {
    received_.clear();
    MSComm1.takeReceived(received_);
    if (received_.empty()) {
        return;
    }
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Green));

    // Each block clears the dataset lists when they hold two lines or more.
    // Of a batch, the lists keep what follows the last such clear: they are
    // cleared once and given only those lines.
    int datasetLines = datasets_->count();
    std::size_t keptFrom = 0;
    bool clears = false;
    for (std::size_t i = 0; i < received_.size(); ++i) {
        if (datasetLines >= 2) {
            datasetLines = 0;
            keptFrom = i;
            clears = true;
        }
        ++datasetLines;
    }
    HistoryModel& floatList = floatWindow().model();
    if (clears) {
        datasets_->clear();
        floatList.clear();
    }
    HistoryRecorder& recorder = recording_->recorder();
    for (std::size_t i = 0; i < received_.size(); ++i) {
        const ReceivedRecord& record = received_[i];
        if (i >= keptFrom) {
            floatList.appendReceived(record.bytes, record.elapsedMs);
            datasets_->appendReceived(record.bytes, record.elapsedMs);
        }
        history_->appendReceived(record.bytes, record.elapsedMs);
        recorder.noteBlockRead(record.bytes.data(), record.bytes.size(), record.readAtUnixNs);
    }

    // Only the newest block can still be shown; each earlier one would be
    // replaced before any screen refresh.
    const ReceivedBlock& newest = received_.back().bytes;
    display_input(std::string_view(reinterpret_cast<const char*>(newest.data()), newest.size()));
    refresh_->showIfDue();
}
