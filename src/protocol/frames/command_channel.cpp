#include "frames/command_channel.h"

#include "command_frames.h"
#include "type_casting.h"

namespace {

// The reference run frame's characters as bytes; a shorter text is filled
// with zero codes so that the controller always gets a whole frame.
CommandFrame FrameFromText(std::string_view frameText) {
    CommandFrame frame{};
    for (std::size_t i = 0; i < frame.size() && i < frameText.size(); ++i) {
        frame[i] = static_cast<unsigned char>(frameText[i]);
    }
    return frame;
}

} // namespace

CommandFrame FrameFromHex(std::string_view hexText) {
    CommandFrame frame{};
    for (std::size_t k = 0; k < frame.size(); ++k) {
        const std::size_t at = 2 * k;
        const std::string_view pair = at < hexText.size() ? hexText.substr(at, 2) : "";
        frame[k] = static_cast<std::uint8_t>(TypeCasting::HexToByte(pair));
    }
    return frame;
}

SendResult CommandChannel::write(const CommandFrame& frame) {
    const std::size_t taken = link_.writeBlock(frame.data(), frame.size());
    if (taken >= frame.size()) {
        return {SendOutcome::Sent, frame.size()};
    }
    log_.withdrawLastLine();
    return {taken == 0 ? SendOutcome::WriteFailed : SendOutcome::PartlyWritten, taken};
}

SendResult CommandChannel::SendCommandFrame(std::string_view hexText) {
    const CommandFrame frame = FrameFromHex(hexText);
    if (!link_.isOpen()) {
        return {};
    }
    const std::uint8_t counterBefore = frame_counter_;
    frame_counter_ = static_cast<std::uint8_t>(frame_counter_ + 1);
    log_.clearDatasets();
    log_.appendSentFrame(frame);
    const SendResult result = write(frame);
    if (result.outcome != SendOutcome::Sent) {
        frame_counter_ = counterBefore;
    }
    return result;
}

SendResult CommandChannel::SendReferenceRunFrame(std::string_view frameText) {
    if (!link_.isOpen()) {
        return {};
    }
    const std::string_view sent = frameText.substr(0, kCommandFrameSize);
    log_.clearDatasets();
    log_.appendReferenceRun(ReferenceRunLogLine(sent));
    return write(FrameFromText(sent));
}
