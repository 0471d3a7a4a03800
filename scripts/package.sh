#!/usr/bin/env bash
# Builds the Debian package of the console and its simulator: installs what
# it needs (scripts/setup.sh package), builds both programs in Release with
# Debian's hardening flags (build-pkg/build/, no tests), has CPack write
# build-pkg/kelmora_<version>_<arch>.deb, checks it with lintian (an error
# fails the script) and prints the package's path as its last line.
#
#   scripts/package.sh
#   apt install ./build-pkg/kelmora_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out_dir="${KELMORA_PACKAGE_DIR:-$root/build-pkg}"
build_dir="$out_dir/build"

"$root/scripts/setup.sh" package

# The flags Debian builds its own packages with: fortified functions, stack
# protector, read-only relocations, immediate binding.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DKELMORA_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

rm -f "$out_dir"/kelmora_*.deb
(cd "$build_dir" && cpack -G DEB -B "$out_dir" >/dev/null)
debs=("$out_dir"/kelmora_*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f "${debs[0]}" ]]; then
  echo "package.sh: CPack wrote no single kelmora_*.deb into $out_dir" >&2
  exit 1
fi
deb="${debs[0]}"

# Errors fail; warnings are printed for whoever reads them.
echo "lintian:"
lintian --fail-on error "$deb" || {
  echo "package.sh: lintian found errors in $deb" >&2
  exit 1
}
echo "$deb"
