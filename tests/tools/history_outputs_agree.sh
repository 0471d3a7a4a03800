#!/usr/bin/env bash
# kelmora-history built for Windows (run under Wine) against the Linux build,
# on the same random history and the capture made of it: every way of
# reading and converting them gives the same standard output, errors, exit
# status and file written, byte for byte.
#   history_outputs_agree.sh LINUX_PROGRAM WORK_FOLDER WINDOWS_COMMAND...
# KELMORA_AGREE_SEED=N replays a run.
set -euo pipefail
linux=$1 work=$2
shift 2
seed=${KELMORA_AGREE_SEED:-$((RANDOM * 32768 + RANDOM))}
RANDOM=$seed
rm -rf "$work" && mkdir -p "$work/linux" "$work/windows"

hex() { # $1 random bytes (LF, CR and Ctrl+Z among them) as hex digits
  hex=
  for ((i = 0; i < $1; i++)); do printf -v hex '%s%02X' "$hex" $((RANDOM % 256)); done
}
# Every kind of sent frame, received blocks, reference runs as their text,
# and a line that is no entry, after the .his header.
kinds=(0211 0212 0241 0221 0001 0000 7E7E)
{
  printf '"Kelmora V0.5B History Ouptut File"\r\n"Created on 1.1.2027 10:00"\r\n'
  for ((n = 0; n < 300; n++)); do
    case $((RANDOM % 5)) in
      0 | 1) hex 62 && printf '"%s%s"\r\n' "${kinds[RANDOM % 7]}" "$hex" ;;
      2 | 3) hex 32 && printf '"IN < %s t- %d"\r\n' "$(sed 's/..../& /g' <<<"$hex")" $((RANDOM - 50)) ;;
      4) printf '"\x02\x31\x04\x01\x02\x03"\r\n' ;;
    esac
  done
  printf '"not an entry"\r\n'
} >"$work/linux/session.his"
(cd "$work/linux" && "$linux" --pcapng session.pcapng session.his 2>/dev/null) || true
cp "$work/linux/session.his" "$work/linux/session.pcapng" "$work/windows/"

ways=0
check() { # NAME STDIN ARGS...: NAME.out, NAME.err and NAME.status on both sides
  local name=$1 input=$2 status
  shift 2
  for side in linux windows; do
    status=0
    if [[ $side == linux ]]; then program=("$linux"); else program=("${windows[@]}"); fi
    (cd "$work/$side" && "${program[@]}" "$@" <"$input" >"$name.out" 2>"$name.err") || status=$?
    echo "$status" >"$work/$side/$name.status"
  done
  ways=$((ways + 1))
}
windows=("$@")
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
  echo "kelmora-history writes otherwise on Windows than on Linux (seed $seed)" >&2
  exit 1
fi
echo "seed $seed: $ways ways, $(find "$work/linux" -type f | wc -l) files alike byte for byte"
