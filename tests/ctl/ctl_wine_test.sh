#!/bin/bash
# zelvafont-ctl.exe end to end under Wine: a generated disc in a CD-ROM drive labelled QRTMV,
# found by the disc search; one font installed into the Wine prefix's C:\windows\Fonts with its
# entry in Wine's registry, listed as installed, removed, and both found gone. Everything happens
# in a throwaway WINEPREFIX.
#
# usage: ctl_wine_test.sh PATH/zelvafont-ctl.exe     (exit 77: skipped)
set -u
ctl=${1:?usage: $0 PATH/zelvafont-ctl.exe}
here=$(cd "$(dirname "$0")" && pwd)
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$wine" ] || { echo "SKIP: no Wine"; exit 77; }
[ -f "$font" ] || { echo "SKIP: no $font"; exit 77; }

run=$(mktemp -d "${TMPDIR:-/tmp}/zf-ctl-wine.XXXXXX")
export WINEPREFIX=$run/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY ZELVAFONT_PREFIX
trap '"$wineserver" -k >/dev/null 2>&1; rm -rf "$run"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Runs zelvafont-ctl.exe; its output (both streams) in $out, its exit code in $rc.
ctl() { out=$("$wine" "$ctl" "$@" 2>&1); rc=$?; }
expect() {  # expect CODE TEXT WHAT: the last run ended with CODE and printed TEXT
  [ "$rc" = "$1" ] && grep -qF -- "$2" <<<"$out" || fail "$3 (exit $rc): $out"
}

# The disc: set TTF, style Sans, font A whose file is a real font.
disc=$run/disc
mkdir -p "$disc/TTF/tmp/Info" "$disc/TTF/fonts"
printf '[Lang]\r\n1033=\r\n' >"$disc/TTF/tmp/Info/LangMap"
printf '[StyleList]\r\nSans=Sans\r\n[Sans]\r\nA=Font A\r\n' >"$disc/TTF/tmp/Info/Style"
printf '[A]\r\nSource=fonts\\a.ttf\r\nSize=0.7\r\nRegNameCount=1\r\nRegName1=Zelva Test Sans\r\n' \
  >"$disc/TTF/tmp/Info/Font"
cp "$font" "$disc/TTF/fonts/a.ttf"
"$here/../support/wine_cdrom.sh" Q "$disc" QRTMV || { echo "FAIL: cannot map the disc"; exit 1; }

fonts=$WINEPREFIX/drive_c/windows/Fonts
key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'
entry='Zelva Test Sans (TrueType)'
registered() { "$wine" reg query "$key" /v "$entry" 2>/dev/null | grep -q 'a\.ttf'; }

ctl --help
expect 0 "Usage: zelvafont-ctl" "--help"
ctl sets
expect 0 'Q:\TTF\' "sets finds the disc in the CD-ROM drive labelled QRTMV"
ctl fonts TTF --style Sans
expect 0 "A    -" "fonts before the install"
# A disc folder named by its path is the disc itself on Windows, which makes no drives for it.
ctl --disc "Z:${disc//\//\\}" sets
expect 0 "TTF" "--disc FOLDER"

ctl install TTF --style Sans A
expect 0 "installed 1 font" "install"
cmp -s "$font" "$fonts/a.ttf" || fail "install: C:\\windows\\Fonts\\a.ttf is not the disc's font"
registered || fail "install: no registry entry '$entry' = a.ttf"
ctl fonts TTF --style Sans
expect 0 "A    installed" "fonts after the install"

ctl remove TTF --style Sans A
expect 0 "removed 1 font" "remove"
[ ! -e "$fonts/a.ttf" ] || fail "remove: C:\\windows\\Fonts\\a.ttf is still there"
! registered || fail "remove: the registry entry '$entry' is still there"
ctl fonts TTF --style Sans
expect 0 "A    -" "fonts after the removal"

[ "$failures" = 0 ] && echo "PASS" || exit 1
