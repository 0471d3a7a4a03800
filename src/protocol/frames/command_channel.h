#pragma once
// SendCommandFrame and frame_counter: the one way a command frame reaches the
// history and the port.

#include <array>
#include <cstdint>
#include <string_view>

using CommandFrame = std::array<std::uint8_t, 64>;

// The port, as the send path needs it.
class FrameLink {
public:
    virtual ~FrameLink() = default;
    virtual bool isOpen() const = 0;
    // The bytes the port took: `size` when it took the whole block, fewer
    // when it refused it (its first bytes may still have reached the line).
    virtual std::size_t writeBlock(const std::uint8_t* data, std::size_t size) = 0;
};

// The dataset lists (List2 and the floating window's list) and the history.
class FrameLog {
public:
    virtual ~FrameLog() = default;
    // Empties List2 and the floating window's list.
    virtual void clearDatasets() = 0;
    // Appends a sent frame's line (its 128 hex digits) to List2, the history
    // and the floating window's list, in that order.
    virtual void appendSentFrame(const CommandFrame& frame) = 0;
    // Appends a reference run line (the frame text up to its first zero code)
    // to List2, the history and the floating window's list, in that order.
    virtual void appendReferenceRun(std::string_view line) = 0;
    // Takes back the line just appended to the three lists: its frame never
    // reached the port.
    virtual void withdrawLastLine() = 0;
};

// What became of a frame handed to the send path.
enum class SendOutcome {
    Sent,          // counted, logged and written
    PortClosed,    // nothing done: the port is not open
    WriteFailed,   // the port refused the bytes: not counted, not logged
    PartlyWritten, // the port took only the first bytes (bytesTaken): not
                   // counted, not logged, but the controller may hold them
};

struct SendResult {
    SendOutcome outcome = SendOutcome::PortClosed;
    // The bytes that reached the line: 64, none, or a refused frame's first.
    std::size_t bytesTaken = 0;

    bool operator==(SendOutcome other) const { return outcome == other; }
};

class CommandChannel {
public:
    CommandChannel(FrameLink& link, FrameLog& log) : link_(link), log_(log) {}

    // Bytes from the hex text; nothing at all when the port is closed;
    // otherwise advance the counter, log, then write 64 bytes. A write the
    // port refuses takes the counter and the line back, so that neither the
    // history nor the next frame's counter claims a frame the controller
    // never got.
    SendResult SendCommandFrame(std::string_view hexText);

    // The reference run frame: logged as its text up to the first zero code,
    // written as its 64 characters (a shorter text is filled with zero codes,
    // characters after the 64th are neither sent nor logged), the counter
    // neither carried nor advanced. Nothing at all when the port is closed;
    // a refused write takes the line back.
    SendResult SendReferenceRunFrame(std::string_view frameText);

    std::uint8_t frame_counter() const { return frame_counter_; }

private:
    // Writes the logged frame; a refused one takes its line back.
    SendResult write(const CommandFrame& frame);

    FrameLink& link_;
    FrameLog& log_;
    std::uint8_t frame_counter_ = 0;
};

// The 64 bytes of a frame's hex text, pair by pair with HexToByte; pairs the
// text lacks read as 0, digits after the 128th are ignored.
CommandFrame FrameFromHex(std::string_view hexText);
