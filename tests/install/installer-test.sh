#!/usr/bin/env bash
# installer-test.sh BUILD_DIR CPACK GUI
#
# Makes the Windows packages from BUILD_DIR, checks the zip's files, then
# installs silently into a Wine prefix of this test's own (the installer
# writes to the user's registry and Start menu), checks the files, the
# Start-menu entry and (GUI=1, a build with the window) the association,
# runs the installed zveklc-cli.exe, and uninstalls silently: nothing of it
# may be left behind.
set -euo pipefail
build=$1 cpack=$2 gui=$3

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zveklc-installer.XXXXXX")
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all HOME=$tmp/home XDG_DATA_HOME=$tmp/home/data \
  XDG_CONFIG_HOME=$tmp/home/config WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX" "$HOME"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
quiet() { "$@" >"$tmp/log" 2>&1 </dev/null || { cat "$tmp/log" >&2; fail "$*"; }; }

(cd "$tmp" && quiet "$cpack" -G "NSIS;ZIP" --config "$build/CPackConfig.cmake" -B "$tmp/packages")
setup=("$tmp"/packages/*-setup.exe) zip=("$tmp"/packages/*-portable.zip)
[ -f "${setup[0]}" ] && [ -f "${zip[0]}" ] || fail "no installer and zip in: $(ls "$tmp/packages")"

expected=(bin/zveklc-cli.exe share/doc/zveklc/lz4-LICENSE.txt share/zveklc/help/index.html)
[ "$gui" = 1 ] && expected+=(bin/zveklc.exe)
expect() { printf '%s\n' "$@" | sort; }
# The zip unpacks to one folder; the empty zveklc.ini makes the copy portable.
diff <(expect "${expected[@]}" bin/zveklc.ini) \
  <(cmake -E tar tf "${zip[0]}" | grep -v '/$' | cut -d/ -f2- | sort) || fail "the zip's files"

quiet wine wineboot -i
quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
user=$(id -un)
dir="C:\\users\\$user\\AppData\\Local\\Programs\\ZVEK Lyrics Converter"
inst=$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/ZVEK\ Lyrics\ Converter
entry=$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/ZVEK\ Lyrics\ Converter.lnk
classes='HKCU\Software\Classes'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\zveklc'
# A key's whole contents as reg exports them, in UTF-8; nothing where there is no key.
export_key() {
  rm -f "$tmp/key.reg"
  wine reg export "$1" 'C:\key.reg' /y >/dev/null 2>&1 </dev/null || return 0
  mv "$WINEPREFIX/drive_c/key.reg" "$tmp/key.reg"
  iconv -f UTF-16 -t UTF-8 "$tmp/key.reg" | tr -d '\r' | sed '1,2d'
}
install_silently() {
  quiet wine "${setup[0]}" /S
  quiet wineserver -w
}
uninstall_silently() {
  # The uninstaller runs on from a copy of itself under %TEMP%: wait for the prefix to be idle.
  quiet wine "$inst/Uninstall.exe" /S
  quiet wineserver -w
}

install_silently
diff <(expect "${expected[@]}" Uninstall.exe) <(cd "$inst" && find . -type f | cut -c3- | sort) ||
  fail "the installed files"
[ -f "$entry" ] || fail "no Start-menu entry"
if [ "$gui" = 1 ]; then target='bin\zveklc.exe'; else target='share\zveklc\help\index.html'; fi
grep -qaF "$target" "$entry" || fail "the Start-menu entry does not open $target"
[ -n "$(export_key "$uninstall")" ] || fail "no entry among the installed programs"

version=$(wine "$inst/bin/zveklc-cli.exe" --version </dev/null 2>&1) || fail "the installed zveklc-cli.exe --version"
[[ $version == "zveklc-cli "* ]] || fail "the installed zveklc-cli.exe --version printed: $version"
if [ "$gui" = 1 ]; then
  version=$(wine "$inst/bin/zveklc.exe" --version </dev/null 2>&1) || fail "the installed zveklc.exe --version"
  [[ $version == "zveklc "* ]] || fail "the installed zveklc.exe --version printed: $version"
fi

program=${dir//\\/\\\\}\\\\bin\\\\zveklc.exe
association() {
  cat <<REG
[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile]
@="ZVEK タグファイル"
"Converter"="$program"

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\DefaultIcon]
@="$program,0"

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\shell]
@="open"

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\shell\\convert]
@="変換"

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\shell\\convert\\command]
@="\\"$program\\" -convert \\"%1\\""

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\shell\\open]
@="開く(&O)"

[HKEY_CURRENT_USER\\Software\\Classes\\ZvekTagFile\\shell\\open\\command]
@="\\"$program\\" \\"%1\\""

REG
}
extension=$'[HKEY_CURRENT_USER\\Software\\Classes\\.TagLyr]\n@="ZvekTagFile"\n"Content Type"="text/plain"\n'
if [ "$gui" = 1 ]; then
  diff <(association) <(export_key "$classes\\ZvekTagFile") || fail "the file type's keys"
  diff <(echo "$extension") <(export_key "$classes\\.TagLyr") || fail "the .TagLyr key"
else
  [ -z "$(export_key "$classes\\.TagLyr")$(export_key "$classes\\ZvekTagFile")" ] ||
    fail "an association without the window"
fi

uninstall_silently
[ ! -e "$inst" ] || fail "left behind: $(cd "$inst" && find . | tail -n +2)"
[ ! -e "$entry" ] || fail "the Start-menu entry left behind"
[ -z "$(export_key "$uninstall")" ] || fail "still among the installed programs"
[ -z "$(export_key "$classes\\.TagLyr")$(export_key "$classes\\ZvekTagFile")" ] || fail "the association left behind"

[ "$gui" = 1 ] || exit 0
# An association the user has since pointed at another copy stays.
install_silently
quiet wine reg add "$classes\\ZvekTagFile\\shell\\open\\command" /ve /d '"C:\other\zveklc.exe" "%1"' /f
uninstall_silently
[ -n "$(export_key "$classes\\ZvekTagFile")" ] && [ -n "$(export_key "$classes\\.TagLyr")" ] ||
  fail "the uninstaller removed an association of another copy"
