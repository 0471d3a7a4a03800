# The Debian package (scripts/package.sh runs cpack on a Release build).
# Everything the package holds comes from the install() rules; this only
# says how to wrap it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelmora)
set(CPACK_PACKAGE_VERSION "${KELMORA_PACKAGE_VERSION}")
set(CPACK_PACKAGE_VENDOR "Kelmora developers")
set(CPACK_PACKAGE_CONTACT "Kelmora developers <dev@kelmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console for a four-axis serial motion controller")
# Debian shows the long description as written: lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
Kelmora drives a four-axis (x, y, z, c) numerical-control motion
controller over one serial line. From one window the operator sends point
tables to the x/y or z/c axis pair, sets the zero point, switches spindle,
cooling and the controller's mode, orders the reference runs and watches
the positions, end switches, error code and buffer fill level that the
controller reports.

Every 64-byte command frame sent and every 32-byte status frame received
is kept in a communication history that can be copied, printed and saved.
The package also holds kelmora-sim, a controller simulator on a
pseudo-terminal for trying the console without the machine, and
kelmora-history, which reads saved histories and captures of the line as
decoded lines or CSV and turns a history into a pcapng capture,
kelmora-ctl, which sends every command and watches the status from a shell
or a job file, and kelmora.lua, a Wireshark dissector for such captures.]])
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, with the versions they need, as
# dpkg-shlibdeps reads them from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opened at run time when a program first publishes, so not among them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmosquitto1 (>= 2.0)")

include(CPack)
