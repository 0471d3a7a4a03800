#!/usr/bin/env bash
# Installs, with apt-get, whatever of Kelmora's build and test needs is
# missing on a Debian 12 machine. A second run on a ready machine installs
# nothing. Run as root (or with sudo available).
set -euo pipefail

packages=(
  g++ make cmake
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
  libgtest-dev
  libcli11-dev nlohmann-json3-dev
  clang-format
  fonts-dejavu-core
  poppler-utils
  locales fonts-noto-mono fontconfig
  desktop-file-utils appstream man-db
  tshark wireshark-common
  xvfb xauth openbox libx11-dev libxtst-dev
  mosquitto mosquitto-clients libmosquitto-dev pkgconf openssl
)
# Extra groups asked for by the caller: "screenshot" (Xvfb, xdotool, ImageMagick,
# openbox, bc),
# "fuzz" (clang), "package" (what CPack's Debian generator and lintian need),
# "accessibility" (Xvfb, the AT-SPI bus and its Python client), "screen-bench"
# (Xvfb, openbox, CuteCom, xdotool, the AT-SPI bus and a session bus for it),
# "windows" (MinGW-w64 with posix threads and 64-bit Wine, for the Windows
# build and its tests).
for extra in "$@"; do
  case "$extra" in
    screenshot) packages+=(xvfb xauth x11-apps imagemagick xdotool openbox bc) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    package) packages+=(dpkg-dev file lintian) ;;
    accessibility) packages+=(xvfb xauth dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0) ;;
    screen-bench)
      packages+=(xvfb xauth x11-utils openbox cutecom xdotool at-spi2-core dbus-daemon) ;;
    windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64) ;;
    *) echo "setup.sh: unknown extra '$extra'" >&2; exit 2 ;;
  esac
done

# scripts/test.sh runs the display tests a second time on a German desktop,
# so de_DE.UTF-8 must be a generated locale (for glibc; Qt reads LANG alone).
# Called once the locales package is there.
generate_german_locale() {
  if locale -a 2>/dev/null | grep -qx 'de_DE\.utf8'; then
    return 0
  fi
  local as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  echo "Generating the locale de_DE.UTF-8"
  if ! grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${as_root[@]}" locale-gen >/dev/null
}

# The tests and benchmarks start brokers of their own, each on a free port
# with its own config; the system's mosquitto service, which its package
# starts, would only hold port 1883 and serve anyone who finds it.
quiet_system_broker() {
  local as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  if [[ -d /run/systemd/system ]]; then
    if systemctl is-enabled --quiet mosquitto 2>/dev/null ||
      systemctl is-active --quiet mosquitto 2>/dev/null; then
      echo "Stopping and disabling the system's mosquitto service"
      "${as_root[@]}" systemctl disable --now mosquitto >/dev/null 2>&1
    fi
  elif [[ -x /etc/init.d/mosquitto ]] && /etc/init.d/mosquitto status >/dev/null 2>&1; then
    echo "Stopping and disabling the system's mosquitto service"
    "${as_root[@]}" /etc/init.d/mosquitto stop >/dev/null
    "${as_root[@]}" update-rc.d mosquitto disable >/dev/null 2>&1 || true
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  generate_german_locale
  quiet_system_broker
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# wireshark-common asks whether ordinary users may capture; the tests only
# read captures, so the answer is no, given beforehand.
if [[ " ${missing[*]} " == *" wireshark-common "* || " ${missing[*]} " == *" tshark "* ]]; then
  echo "wireshark-common wireshark-common/install-setuid boolean false" |
    "${sudo_cmd[@]}" debconf-set-selections
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
generate_german_locale
quiet_system_broker
