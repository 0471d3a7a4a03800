#!/usr/bin/env bash
# Stages `cmake --install` of an existing build into a temporary folder (the
# system is not touched, nothing is built) and checks what a package of it
# would hold.
#
#   staged_install_test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION_LINE PACKAGE_VERSION LUA_DIR
set -uo pipefail
cmake_command="$1"
build_dir="$2"
source_dir="$3"
version_line="$4"
package_version="$5"
lua_dir="$6" # Wireshark's global Lua plugin folder, relative to the prefix

app_id=invalid.kelmora.console
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! env -u DESTDIR "$cmake_command" --install "$build_dir" --prefix "$stage" >"$stage.log" 2>&1; then
  cat "$stage.log" >&2
  rm -f "$stage.log"
  echo "FAIL: cmake --install into $stage" >&2
  exit 1
fi
rm -f "$stage.log"

# Exactly these files: a missing one breaks the menu, the manual or the
# package; a stray one (a test, a library, a header) has no place in it.
expected="bin/kelmora
bin/kelmora-ctl
bin/kelmora-history
bin/kelmora-sim
$lua_dir/kelmora.lua
share/applications/$app_id.desktop
share/bash-completion/completions/kelmora-ctl
share/doc/kelmora/changelog.gz
share/doc/kelmora/copyright
share/icons/hicolor/scalable/apps/$app_id.svg
share/lintian/overrides/kelmora
share/man/man1/kelmora-ctl.1.gz
share/man/man1/kelmora-history.1.gz
share/man/man1/kelmora-sim.1.gz
share/man/man1/kelmora.1.gz
share/metainfo/$app_id.metainfo.xml"
staged="$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)"
if [[ "$staged" != "$expected" ]]; then
  fail "staged files differ from the package's list:"
  diff <(echo "$expected") <(echo "$staged") >&2
fi
for program in kelmora kelmora-sim kelmora-history kelmora-ctl; do
  [[ -x "$stage/bin/$program" ]] || fail "bin/$program is not executable"
done

desktop="$stage/share/applications/$app_id.desktop"
metainfo="$stage/share/metainfo/$app_id.metainfo.xml"
if [[ -f "$desktop" ]]; then
  desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate $app_id.desktop"
  # The menu entry must start a staged program and show the staged icon.
  exec_program="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
  [[ -n "$exec_program" && -x "$stage/bin/$exec_program" ]] ||
    fail "the desktop entry starts '$exec_program', which is not in bin/"
  icon="$(sed -n 's/^Icon=//p' "$desktop")"
  [[ -f "$stage/share/icons/hicolor/scalable/apps/$icon.svg" ]] ||
    fail "the desktop entry's icon '$icon' is not in the hicolor theme"
fi
if [[ -f "$metainfo" ]]; then
  appstreamcli validate --no-net "$metainfo" >&2 || fail "appstreamcli validate $app_id.metainfo.xml"
  # The store finds the menu entry through the launchable, and shows the
  # project's own screenshot.
  grep -q "<id>$app_id</id>" "$metainfo" || fail "the metadata's id is not $app_id"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not launch $app_id.desktop"
  screenshot="$(sed -n 's|.*<image>.*/\(docs/[^<]*\)</image>.*|\1|p' "$metainfo")"
  [[ -n "$screenshot" && -f "$source_dir/$screenshot" ]] ||
    fail "the metadata's screenshot '${screenshot:-none}' is not a picture in docs/"
  grep -q "<release version=\"$package_version\"" "$metainfo" ||
    fail "the metadata's release is not $package_version"
  for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo"); do
    [[ -x "$stage/bin/$binary" ]] || fail "the metadata provides '$binary', which is not in bin/"
  done
fi

# Without any display: the options must be read before the window system.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE)
# run NAME EXPECTED_STATUS ARGS...: leaves stdout and stderr in $out, $err
run() {
  local name="$1" expected_status="$2"
  shift 2
  "${no_display[@]}" "$@" >"$stage/out" 2>"$stage/err"
  local status=$?
  out="$(cat "$stage/out")"
  err="$(cat "$stage/err")"
  if ((status != expected_status)); then
    fail "$name exited $status, not $expected_status; stderr: $err"
  fi
}
if [[ -x "$stage/bin/kelmora" ]]; then
  run "kelmora --version" 0 "$stage/bin/kelmora" --version
  [[ "$out" == "$version_line" && -z "$err" ]] ||
    fail "kelmora --version printed '$out' (stderr '$err'), not '$version_line'"
  run "kelmora --help" 0 "$stage/bin/kelmora" --help
  [[ "$out" == "Usage: kelmora "* && -z "$err" ]] || fail "kelmora --help printed '$out'"
  console_usage="$out"
  run "kelmora --no-such-option" 2 "$stage/bin/kelmora" --no-such-option
  [[ -z "$out" && "$err" == *"--no-such-option"*"Usage: kelmora "* ]] ||
    fail "kelmora --no-such-option said '$err' on stderr and '$out' on stdout"
fi
if [[ -x "$stage/bin/kelmora-sim" ]]; then
  run "kelmora-sim --help" 0 "$stage/bin/kelmora-sim" --help
  [[ "$out" == "Usage: kelmora-sim "* && -z "$err" ]] || fail "kelmora-sim --help printed '$out'"
  simulator_usage="$out"
fi
if [[ -x "$stage/bin/kelmora-history" ]]; then
  run "kelmora-history --help" 0 "$stage/bin/kelmora-history" --help
  [[ "$out" == "Usage: kelmora-history "* && -z "$err" ]] || fail "kelmora-history --help printed '$out'"
  reader_usage="$out"
  run "kelmora-history --version" 0 "$stage/bin/kelmora-history" --version
  [[ "$out" == "kelmora-history ${version_line#Kelmora }" ]] || fail "kelmora-history --version printed '$out'"
fi
if [[ -x "$stage/bin/kelmora-ctl" ]]; then
  run "kelmora-ctl --help" 0 "$stage/bin/kelmora-ctl" --help
  [[ "$out" == "Usage: kelmora-ctl "* && -z "$err" ]] || fail "kelmora-ctl --help printed '$out'"
  ctl_usage="$out"
  run "kelmora-ctl --version" 0 "$stage/bin/kelmora-ctl" --version
  [[ "$out" == "kelmora-ctl ${version_line#Kelmora }" ]] || fail "kelmora-ctl --version printed '$out'"
  # Its completion offers every subcommand its usage lists.
  completion="$stage/share/bash-completion/completions/kelmora-ctl"
  offered="$(bash -c 'source "$1"; COMP_WORDS=(kelmora-ctl ""); COMP_CWORD=1; _kelmora_ctl
                      echo "${COMPREPLY[*]}"' _ "$completion" 2>&1)"
  for subcommand in $(sed -n '/^Subcommands:/,/^$/p' <<<"$ctl_usage" | awk 'NR > 1 && NF {print $1}'); do
    [[ " $offered " == *" $subcommand "* ]] || fail "the completion does not offer $subcommand"
  done
fi

# The dissector: in the folder that Wireshark on this system calls its
# global Lua plugin folder (under the /usr prefix the package installs to),
# and found there by Wireshark's own search of a plugin folder: the personal
# Lua plugin folder of a made-up home, pointed at the staged folder, is
# searched the same way. It must then decode a status frame.
dissector="$stage/$lua_dir/kelmora.lua"
if [[ -f "$dissector" ]]; then
  global_lua="$(HOME="$stage" tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')"
  [[ "$global_lua" == "/usr/$lua_dir" ]] ||
    fail "the dissector goes to /usr/$lua_dir, but tshark's global Lua plugin folder is '$global_lua'"
  home="$stage/home"
  mkdir -p "$home/.local/lib/wireshark"
  ln -s "$stage/$lua_dir" "$home/.local/lib/wireshark/plugins"
  plugins="$(HOME="$home" tshark -G plugins 2>&1)"
  grep -qF "$home/.local/lib/wireshark/plugins/kelmora.lua" <<<"$plugins" ||
    fail "tshark does not load kelmora.lua from a plugin folder holding the staged one: $plugins"
  HOME="$home" tshark -G protocols 2>/dev/null | grep -qP '^Kelmora serial line\tKELMORA\tkelmora$' ||
    fail "tshark with the staged plugin folder does not know the protocol kelmora"
  # The worked example status frame, inbound, as text2pcap writes it.
  printf 'I 0\n0000 02 11 90 10 27 00 00 CE FF FF FF 00 00 00 00 00 01 00 00 00 32 00 00 00 00 00 00 07 00 00 00 00\n' \
    >"$stage/frame.txt"
  text2pcap -q -D -t '%s' -l 147 "$stage/frame.txt" "$stage/frame.pcapng" >/dev/null 2>&1 ||
    fail "text2pcap could not write a capture"
  decoded="$(HOME="$home" tshark -r "$stage/frame.pcapng" -T fields -E separator=, \
    -e kelmora.kind -e kelmora.status.mode -e kelmora.status.x -e kelmora.status.y \
    -e kelmora.status.c -e kelmora.status.fill_level -e kelmora.status.frame_counter 2>/dev/null)"
  [[ "$decoded" == "status,2,10000,-50,256,50,7" ]] ||
    fail "tshark with the staged dissector decoded the worked example as '$decoded'"
fi

# The manual pages: compressed, rendered without a warning, with the
# sections an operator looks for, and naming every option the program's own
# usage text lists.
for page in kelmora kelmora-sim kelmora-history kelmora-ctl; do
  file="$stage/share/man/man1/$page.1.gz"
  [[ -f "$file" ]] || continue
  gzip -t "$file" || fail "$page.1.gz is not gzip"
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)"
  [[ -z "$warnings" ]] || fail "man warns about $page.1: $warnings"
  source="$(zcat "$file")"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS KEYS FILES "EXIT STATUS" EXAMPLES; do
    grep -qx "\.SH \"\?$section\"\?" <<<"$source" || fail "$page.1 has no $section section"
  done
  case "$page" in
    kelmora) usage="${console_usage:-}" ;;
    kelmora-sim) usage="${simulator_usage:-}" ;;
    kelmora-ctl) usage="${ctl_usage:-}" ;;
    *) usage="${reader_usage:-}" ;;
  esac
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$usage" | sort -u); do
    grep -qF -- "${option//-/\\-}" <<<"$source" || fail "$page.1 does not document $option"
  done
done

if ((failures > 0)); then
  echo "$failures packaging check(s) failed" >&2
  exit 1
fi
echo "staged install: every file present, validated and answering without a display"
