#!/bin/sh
# Runs a Windows test program under Wine. The caller's prefix when it has one
# (./test.sh --windows makes a private one per run); otherwise one of its
# own under the temporary folder, never the user's ~/.wine.
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/zveklc-wine-$(id -u)}" WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
