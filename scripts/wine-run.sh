#!/bin/bash
# Runs one Windows program under Wine in a throwaway WINEPREFIX of its own, then stops that
# prefix's wineserver and deletes the prefix; exits with the program's exit code. CMake uses it as
# the cross build's CMAKE_CROSSCOMPILING_EMULATOR, so every test run starts from a clean prefix
# and none touches ~/.wine.
#
# A new prefix takes Wine about 10 s to make and holds 700 MB of system files, so a template is
# made once per Wine version (under ZF_WINE_TEMPLATE_DIR, default the temporary folder) and each
# run gets a copy: Wine's read-only system binaries hard-linked, everything Wine or a test may
# write (registry files, .ini files, folders) copied for real.
set -u
if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2
  exit 2
fi

wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
unset DISPLAY WAYLAND_DISPLAY  # nothing here needs a window; no test may reach the user's screen
# The program is made for Traditional Chinese Windows: each run is such a system (ANSI code page
# 950, language 1028), whatever the host's locale; ZF_WINE_LOCALE names another Unix locale. Wine
# takes its code page from the locale's name, generated on the host or not.
locale=${ZF_WINE_LOCALE:-zh_TW.UTF-8}

tmp=${TMPDIR:-/tmp}
version=$("$wine" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' '_' | head -1)
template_root=${ZF_WINE_TEMPLATE_DIR:-$tmp/zelvafont-wine-$(id -u)}
template=$template_root/${version:-wine}
mkdir -p "$template_root"

# Makes the template once; concurrent runs wait for the first one.
(
  flock 9
  if [ ! -f "$template/.zf-ready" ]; then
    rm -rf "$template"
    WINEPREFIX=$template "$wine" wineboot --init >/dev/null 2>&1
    WINEPREFIX=$template "$wineserver" -w
    touch "$template/.zf-ready"
  fi
) 9>"$template_root/lock"
if [ ! -f "$template/.zf-ready" ]; then
  echo "wine-run.sh: could not make the Wine template prefix $template" >&2
  exit 125
fi

# Wine names Unix files in the locale's character set, which is plain ASCII when the host has not
# generated the locale: a file named 許 could not be made. Such a locale is generated once beside
# the template, for Wine alone.
charmap() { LC_ALL=$locale locale charmap 2>/dev/null; }
if [[ $locale == *.* && $(charmap) == ANSI_X3.4-1968 ]] && command -v localedef >/dev/null; then
  export LOCPATH=$template_root/locales
  (
    flock 9
    if [ "$(charmap)" = ANSI_X3.4-1968 ]; then
      mkdir -p "$LOCPATH"
      localedef -i "${locale%%.*}" -f "${locale#*.}" "$LOCPATH/$locale" >/dev/null 2>&1
    fi
  ) 9>"$template_root/lock"
fi

run=$(mktemp -d "$tmp/zf-wine.XXXXXX")
prefix=$run/prefix
cleanup() {
  WINEPREFIX=$prefix "$wineserver" -k >/dev/null 2>&1
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -al "$template" "$prefix"
(cd "$template" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' \
   -o -iname '*.sys' -o -iname '*.nls' -o -iname '*.tlb' -o -iname '*.msstyles' \
   -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.ax' -o -iname '*.ds' \
   -o -iname '*.tsp' -o -iname '*.com' -o -iname '*16' \) -print0 |
   xargs -0 -r cp -p --parents --remove-destination -t "$prefix")

WINEPREFIX=$prefix LC_ALL=$locale "$wine" "$@"
