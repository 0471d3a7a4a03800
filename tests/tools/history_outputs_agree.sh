#!/usr/bin/env bash
# kelmora-history built for Windows (run under Wine) against the Linux build,
# on the same history and capture: every way of reading and converting them
# must give the same bytes on standard output and standard error, the same
# exit status and the same file written.
#   history_outputs_agree.sh LINUX_PROGRAM WORK_FOLDER WINDOWS_COMMAND...
# KELMORA_AGREE_SEED=N replays a run.
set -euo pipefail
linux=$1 work=$2
shift 2
windows=("$@")
seed=${KELMORA_AGREE_SEED:-$((RANDOM * 32768 + RANDOM))}
echo "seed $seed"
RANDOM=$seed
rm -rf "$work" && mkdir -p "$work/linux" "$work/windows"

hex() { # $1 random bytes as hex digits, into $hex
  hex=
  local byte i
  for ((i = 0; i < $1; i++)); do
    printf -v byte %02X $((RANDOM % 256))
    hex+=$byte
  done
}

# A history as the console saves it: the .his header, every kind of sent
# frame, received blocks (all byte values: LF, CR and Ctrl+Z among them in
# the capture), reference runs as their text, and a line that is no entry.
kinds=(0211 0212 0241 0221 0001 0000 7E7E)
{
  printf '"Kelmora V0.5B History Ouptut File"\r\n"Created on 1.1.2027 10:00"\r\n'
  for ((n = 0; n < 300; n++)); do
    case $((RANDOM % 5)) in
      0 | 1) hex 62 && printf '"%s%s"\r\n' "${kinds[RANDOM % ${#kinds[@]}]}" "$hex" ;;
      2 | 3)
        line="IN < "
        for ((group = 0; group < 16; group++)); do hex 2 && line+="$hex "; done
        printf '"%s t- %d"\r\n' "$line" $((RANDOM - 50)) ;;
      4) printf '"\x02\x31\x04\x01\x02\x03"\r\n' ;;
    esac
  done
  printf '"not an entry"\r\n'
} >"$work/linux/session.his"
(cd "$work/linux" && "$linux" --pcapng session.pcapng session.his 2>/dev/null) || true
cp "$work/linux/session.his" "$work/linux/session.pcapng" "$work/windows/"

cases=0
# NAME INPUT ARGS...: both programs with standard input from INPUT, their
# output, errors and status into NAME.out, NAME.err and NAME.status.
check() {
  local name=$1 input=$2 side status
  shift 2
  for side in linux windows; do
    local program=("$linux")
    [[ $side == linux ]] || program=("${windows[@]}")
    status=0
    (cd "$work/$side" && "${program[@]}" "$@" <"$input" >"$name.out" 2>"$name.err") || status=$?
    echo "$status" >"$work/$side/$name.status"
  done
  cases=$((cases + 1))
}
check history-text session.his session.his
check history-csv /dev/null --csv session.his
check history-csv-stdin session.his --csv -
check history-pcapng-stdout /dev/null --pcapng - session.his
check history-pcapng-file /dev/null --pcapng out.pcapng session.his
check history-pcapng-file-stdin session.his --pcapng in.pcapng -
check capture-text /dev/null session.pcapng
check capture-csv-stdin session.pcapng --csv -
check capture-pcapng-stdout /dev/null --pcapng - session.pcapng
check capture-pcapng-file session.pcapng --pcapng again.pcapng -

if ! diff -rq "$work/linux" "$work/windows"; then
  echo "kelmora-history's output on Windows differs from Linux's (seed $seed)" >&2
  exit 1
fi
echo "$cases ways, $(find "$work/linux" -type f | wc -l) files: Windows and Linux agree byte for byte"
