#!/bin/bash
# Makes a folder a CD-ROM drive with a volume label in the Wine prefix that WINEPREFIX names, the
# way Wine reads them: the drive's link in dosdevices, the drive type "cdrom" under
# HKLM\Software\Wine\Drives, and the label in a .windows-label file at the folder's root (Wine's
# label for a drive that is a plain folder). Wine's mount manager reads the drive types when the
# prefix's wineserver starts, so this waits for that server to end before it returns.
#
# usage: wine_cdrom.sh LETTER FOLDER LABEL
set -eu
if [ $# -ne 3 ] || ! [[ $1 =~ ^[A-Za-z]:?$ ]] || [ ! -d "$2" ]; then
  echo "usage: $0 LETTER FOLDER LABEL (FOLDER must exist)" >&2
  exit 2
fi
: "${WINEPREFIX:?WINEPREFIX must name a throwaway Wine prefix}"
letter=$(printf '%s' "${1:0:1}" | tr 'A-Z' 'a-z')
folder=$(realpath "$2")
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

if ! log=$(WINEDEBUG=-all "$wine" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /f 2>&1); then
  echo "$0: cannot set the drive type of $letter: in $WINEPREFIX: $log" >&2
  exit 1
fi
"$wineserver" -w
printf '%s' "$3" >"$folder/.windows-label"
ln -sfn "$folder" "$WINEPREFIX/dosdevices/$letter:"
