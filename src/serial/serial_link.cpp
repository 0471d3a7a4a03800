#include "serial_link.h"

#include "serial_connection.h"
#include "system_tick.h"

bool SerialLink::isOpen() const {
    return connection_.isOpen();
}

std::size_t SerialLink::writeBlock(const std::uint8_t* data, std::size_t size) {
    const std::int64_t writtenAt = UnixNanosecondsNow();
    // Whatever the controller says next answers this frame: it is logged
    // as soon as it is read, not at the display's pace.
    connection_.expectAnswer();
    connection_.output(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    const auto taken = static_cast<std::size_t>(connection_.lastWriteTaken());
    if (taken > 0 && tap_) {
        tap_(data, taken, writtenAt);
    }
    return taken;
}
