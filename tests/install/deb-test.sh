#!/usr/bin/env bash
# deb-test.sh BUILD_DIR CPACK VERSION GUI
#
# Makes the Debian package of BUILD_DIR in a temporary folder, checks what it
# holds and what it depends on, unpacks it there (never installs it) and runs
# the unpacked programs. The AppStream entry, the desktop entry and the manual
# pages, and the package itself (lintian), are checked by Debian's own tools
# where they are installed.
set -euo pipefail
build=$1 cpack=$2 version=$3 gui=$4

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zveklc-deb.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$tmp"/out/zveklc_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no zveklc_${version}_*.deb in: $(ls "$tmp/out")"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' >"$tmp/contents"
files=(usr/bin/zveklc-cli
  usr/share/applications/zveklc.desktop
  usr/share/mime/packages/zveklc-taglyr.xml
  usr/share/icons/hicolor/scalable/apps/zveklc.svg
  usr/share/zveklc/help/index.html
  usr/share/man/man1/zveklc.1.gz
  usr/share/man/man1/zveklc-cli.1.gz
  usr/share/bash-completion/completions/zveklc-cli
  usr/share/doc/zveklc/copyright
  usr/share/doc/zveklc/changelog.gz)
[ "$gui" = 1 ] && files+=(usr/bin/zveklc)
for f in "${files[@]}"; do grep -qx "$f" "$tmp/contents" || fail "not in the package: $f"; done
metainfo=$(grep -x 'usr/share/metainfo/.*\.metainfo\.xml' "$tmp/contents") || fail "no AppStream metainfo in the package"

# Dependencies come from the programs' shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* ]] || fail "no shared-library dependencies: $depends"
[ "$gui" = 0 ] || [[ $depends == *libqt6widgets6* ]] || fail "the window's Qt is not a dependency: $depends"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/zveklc-cli" --version)" = "zveklc-cli $version" ] || fail "the unpacked zveklc-cli --version"
if [ "$gui" = 1 ]; then
  mkdir -p "$tmp/home"
  out=$(env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home" QT_QPA_PLATFORM=offscreen \
    timeout 60 "$root/usr/bin/zveklc" --version 2>&1) || fail "the unpacked zveklc --version: $out"
  [[ $out == *"$version"* ]] || fail "the unpacked zveklc --version printed: $out"
fi

grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "the metainfo's release is not $version"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$root/$metainfo" >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log" >&2; fail "appstreamcli validate"; }
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/zveklc.desktop" || fail "desktop-file-validate"
fi
if command -v man >/dev/null && command -v groff >/dev/null; then
  for page in zveklc zveklc-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1): $warnings"
  done
fi
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log" >&2; fail "lintian"; }
fi
echo "$(basename "$deb"): $(wc -l <"$tmp/contents") entries; Depends: $depends"
