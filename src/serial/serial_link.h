#pragma once
// The send path's port (FrameLink) on the serial connection, with a tap that
// sees each block as it reached the line: what a capture records.

#include <frames/command_channel.h>

#include <functional>

class SerialConnection;

class SerialLink : public FrameLink {
public:
    // Told of the bytes of each block that reached the line (all of it, or
    // the first bytes of one the port refused), with the real time the
    // write began (nanoseconds since 1970).
    using WrittenTap =
        std::function<void(const std::uint8_t* data, std::size_t size, std::int64_t unixNs)>;

    explicit SerialLink(SerialConnection& connection) : connection_(connection) {}
    bool isOpen() const override;
    std::size_t writeBlock(const std::uint8_t* data, std::size_t size) override;
    void setWrittenTap(WrittenTap tap) { tap_ = std::move(tap); }

private:
    SerialConnection& connection_;
    WrittenTap tap_;
};
