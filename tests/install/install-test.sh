#!/usr/bin/env bash
# install-test.sh BUILD_DIR SOURCE_DIR BINDIR DATADIR GUI
#
# Installs BUILD_DIR into a private prefix, checks that every file lands where
# the desktop expects it, and runs what was installed: zveklc-cli, and (GUI=1)
# the window converting a document unattended, offscreen, with its settings
# and everything else it might write kept inside the temporary folder.
set -euo pipefail
build=$1 source=$2 bindir=$3 datadir=$4 gui=$5

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zveklc-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install"; }

files=("$bindir/zveklc-cli"
  "$datadir/applications/zveklc.desktop"
  "$datadir/mime/packages/zveklc-taglyr.xml"
  "$datadir/icons/hicolor/scalable/apps/zveklc.svg"
  "$datadir/zveklc/help/index.html"
  "$datadir/man/man1/zveklc-cli.1.gz"
  "$datadir/bash-completion/completions/zveklc-cli")
[ "$gui" = 1 ] && files+=("$bindir/zveklc")
for f in "${files[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
  [[ $f != "$bindir"/* ]] || [ -x "$prefix/$f" ] || fail "not executable: $f"
done

# The window finds its help beside the build's programs as it does when installed.
cmp -s "$source/help/index.html" "$build/$datadir/zveklc/help/index.html" || fail "the build tree's help is out of date"

# The desktop's own tools must be able to read the type (where they are installed).
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/$datadir/mime" || fail "update-mime-database"
  grep -qx 'text/x-zvek-taglyr:\*\.taglyr' <(cut -d: -f2- "$prefix/$datadir/mime/globs2") ||
    fail "no *.taglyr glob for text/x-zvek-taglyr"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/$datadir/applications/zveklc.desktop" || fail "desktop-file-validate"
fi

cli=$prefix/$bindir/zveklc-cli
version=$("$cli" --version) || fail "zveklc-cli --version"
[[ $version == "zveklc-cli "* ]] || fail "zveklc-cli --version printed: $version"

[ "$gui" = 1 ] || exit 0

work=$tmp/work
mkdir -p "$work/samples" "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
cp "$source/samples/sample.txt" "$source/samples/sample.htm" "$work/samples/"
cd "$work"
"$cli" text -q -o doc.lyr samples/sample.txt || fail "zveklc-cli text"
"$cli" tag -q -r samples/sample.htm -o expected.TagLyr doc.lyr || fail "zveklc-cli tag"

status=0
env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache" \
  XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=offscreen \
  timeout 120 "$prefix/$bindir/zveklc" doc.lyr samples/sample.htm out.TagLyr || status=$?
[ "$status" -eq 0 ] || fail "zveklc exited with $status"
[ -f out.TagLyr ] || fail "zveklc wrote no out.TagLyr"
cmp -s expected.TagLyr out.TagLyr || fail "the window's tag file differs from zveklc-cli's"
echo "installed into $prefix: ${#files[@]} files; both programs run"
