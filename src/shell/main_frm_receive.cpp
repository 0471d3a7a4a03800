// The receive path: every notification of the serial connection object.

#include "float_window.h"
#include "history_model.h"
#include "history_recorder.h"
#include "history_recording.h"
#include "lamp.h"
#include "main_frm.h"
#include "system_tick.h"

#include <received_line.h>
#include <status_report.h>

namespace {
constexpr int kDataReceived = 2;
}

void Main_frm::MSComm1_OnComm() {
    ui.Label3->setColourValue(static_cast<std::uint32_t>(LampColour::Green));
    if (MSComm1.commEvent() != kDataReceived) {
        return;
    }

    const std::int32_t now = tick_();
    const std::int32_t elapsed = ElapsedTicks(previousReceiveTick_, now);
    previousReceiveTick_ = now;

    if (datasets_->count() >= 2) {
        datasets_->clear();
        floatWindow().model().clear();
    }

    const QByteArray input = MSComm1.input();
    const std::int64_t readAt = UnixNanosecondsNow();
    const std::string_view block(input.constData(), static_cast<std::size_t>(input.size()));
    const ReceivedBlock first = FirstBlockBytes(block);
    floatWindow().model().appendReceived(first, elapsed);
    datasets_->appendReceived(first, elapsed);
    history_->appendReceived(first, elapsed);
    recording_->recorder().noteBlockRead(first.data(), first.size(), readAt);

    display_input(block);

    // Whatever else waits, or came in meanwhile, is dropped so the next
    // block starts with a fresh buffer.
    MSComm1.discardInput();
}
