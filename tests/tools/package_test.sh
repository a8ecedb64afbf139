#!/usr/bin/env bash
# The Debian package as a user and a developer meet it: what it holds, what
# the Debian checkers say, and, unpacked into a scratch root, a recording of
# the virtual desktop and a C program built against the engine.
#   package_test.sh BUILD-FOLDER SOURCE-FOLDER
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d /tmp/orvex-package-XXXXXX)
cd "$source"
source tools/virtual-session.sh
trap 'stop_virtual_session; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/orvex_*.deb)
listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/OrvexLite ./usr/bin/capmill ./usr/include/capmill/capmill.h \
    ./usr/share/applications/orvexlite.desktop ./usr/share/icons/hicolor/48x48/apps/orvexlite.png \
    ./usr/share/man/man1/capmill.1.gz; do
  grep -q " $path\$" <<<"$listing" || fail "the package lacks $path"
done
grep -qE " \./usr/lib/[^ ]*/libcapmill\.so\.1 -> libcapmill\.so\.1\.[0-9.]+\$" <<<"$listing" || fail "no SONAME link"
grep -qE " \./usr/lib/[^ ]*/libcapmill\.so -> libcapmill\.so\.1\$" <<<"$listing" || fail "no development link"
grep -qE " \./usr/lib/[^ ]*/pkgconfig/capmill\.pc\$" <<<"$listing" || fail "no pkg-config file"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libavformat" <<<"$depends" || fail "dependencies not read off the binaries: $depends"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"

desktop-file-validate "$source/app/resources/orvexlite.desktop" || fail "desktop-file-validate"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
if grep -q "^E: " "$work/lintian.log"; then cat "$work/lintian.log" >&2; fail "lintian reports errors"; fi

# Unpacked into a scratch root, with only that root's library path.
root=$work/root
dpkg-deb -x "$deb" "$root"
libdir=$(dirname "$(find "$root/usr/lib" -name 'libcapmill.so.1' | head -n1)")
export LD_LIBRARY_PATH=$libdir
MOVING_DESKTOP="$build/tools/moving-desktop" start_virtual_desktop 640 480
start_virtual_microphone
"$root/usr/bin/capmill" devices | grep -q "Virtual Microphone" || fail "capmill devices"
"$root/usr/bin/capmill" record "$work/two.mp4" --seconds 2 --quiet >"$work/summary.txt" || fail "capmill record"
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$work/two.mp4")
[ "$frames" -ge 15 ] || fail "the recording holds $frames frames"

cat >"$work/uses-engine.c" <<'PROGRAM'
#include <capmill/capmill.h>
#include <stdio.h>
int main(void) {
  printf("paused=%d\n", qelIsRecordingPaused() ? 1 : 0);
  return 0;
}
PROGRAM
flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags --libs capmill)
cc -o "$work/uses-engine" "$work/uses-engine.c" $flags || fail "building against the engine: $flags"
[ "$("$work/uses-engine")" = "paused=0" ] || fail "the program built against the engine"
echo "package test passed: $(basename "$deb")"
