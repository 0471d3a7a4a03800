#!/usr/bin/env bash
# A short session with the controller simulator, saved as the console saves
# its history and turned into a pcapng capture by kelmora-history --pcapng;
# the tshark output in docs/tools.md (Captures for Wireshark) comes from it.
# The frames are the console's (status requests, a mode change, a zero point
# in millimetres, the spindle, Drive X / Y in steps, a reference run),
# written to the simulator's terminal with the counter the console would give
# them; each answer is logged as the console logs it, with the real
# milliseconds between answers.
#
#   scripts/simulator-capture.sh [OUT.pcapng]   (default build/simulator-session.pcapng)
# Needs a build (scripts/build.sh); prints the capture's path last.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
out="${1:-$build_dir/simulator-session.pcapng}"
history="${out%.pcapng}.his"

# The simulator started (and ended on exit) the way the other scripts
# start it; no display is needed.
source "$root/scripts/lib/virtual_display.sh"
start_simulator "$build_dir/tools/simulator/kelmora-sim" --speed 2000
stty -F "$device" raw -echo
exec 3<>"$device"

counter=0
last_ms=""
printf '"Kelmora V0.5B History Ouptut File"\r\n"Created on %s"\r\n' "$(date '+%d.%m.%Y %H:%M:%S')" >"$history"
log() { printf '"%s"\r\n' "$1" >>"$history"; }
# le32 N: a signed 32-bit number as 8 hex digits, least significant byte first.
le32() {
  local hex
  hex="$(printf '%08X' $(($1 & 0xFFFFFFFF)))"
  echo "${hex:6:2}${hex:4:2}${hex:2:2}${hex:0:2}"
}
pad() { local text="$1"; while ((${#text} < 128)); do text+="0"; done; echo "$text"; }
hexbyte() { printf '%02X' "$1"; }
# send HEX: a command frame as SendCommandFrame sends it (logged, written, counted).
send() {
  log "$1"
  xxd -r -p <<<"$1" >&3
  counter=$(((counter + 1) % 256))
}
status_request() {
  send "$(pad "$(printf '%0118d' 0)$(hexbyte $counter)")"
  # The answer: 32 bytes, logged as "IN < " and sixteen groups, with the
  # milliseconds since the previous answer.
  local hex now elapsed groups
  hex="$(dd bs=32 count=1 iflag=fullblock status=none <&3 | xxd -p -c 32 -u)"
  now=$(($(date +%s%N) / 1000000))
  if [[ -z "$last_ms" ]]; then
    # The console counts its first answer from 0: the tick count, the
    # milliseconds since the system started.
    elapsed=$(awk '{ printf "%d", $1 * 1000 }' /proc/uptime)
  else
    elapsed=$((now - last_ms))
  fi
  last_ms=$now
  groups="$(sed 's/\(....\)/\1 /g' <<<"$hex")"
  log "IN < $groups t- $elapsed"
}

status_request
send "$(pad "000102")"                                        # Moduswechsel -> 2
status_request
# Nullpunkt setzen in mm: x 12.5, y -2.5, z 0, c 0 (singles 41480000, C0200000).
send "$(pad "0241""0000000000""00""00004841""000020C0""00000000""00000000")"
send "$(pad "022101")"                                        # Zusatzsignale: spindle on
status_request
# Drive X / Y in steps: the start-up square, end velocity 0, ramp bits 0.
square="$(le32 50)$(le32 50)$(le32 -50)$(le32 50)$(le32 -50)$(le32 -50)$(le32 50)$(le32 -50)"
send "021100000000""04""01""$square""$(le32 0)$(le32 0)$(le32 0)$(le32 0)""000000$(hexbyte $counter)00000000"
for _ in 1 2 3 4 5 6; do
  sleep 0.04
  status_request
done
# Referenzfahren in the order c, z, y, x: the frame's text, logged up to its
# first code 0, so the line holds 02 31 04 03 02 01.
ref="0231040302010000"
log "$(printf '\x02\x31\x04\x03\x02\x01')"
xxd -r -p <<<"$(pad "$ref")" >&3
for _ in 1 2 3 4; do
  sleep 0.1
  status_request
done
exec 3>&-

"$build_dir/tools/history/kelmora-history" --pcapng "$out" "$history"
echo "$out"
