# Shared by the scripts that show the window on a private X server
# (source after common.sh).
#
# xvfb_start: starts Xvfb on a display nobody uses and exports DISPLAY; the
#   program's settings, caches, runtime files and the file association it
#   makes at its first start go to $xvfb_tmp, a fresh folder (HOME included),
#   never to the user's own.
# xvfb_stop: ends the server and removes that folder.

xvfb_tmp=
xvfb_pid=

xvfb_start() {
  local n i
  xvfb_tmp=$(mktemp -d)
  mkdir -p "$xvfb_tmp/home" "$xvfb_tmp/config" "$xvfb_tmp/cache" "$xvfb_tmp/data" "$xvfb_tmp/runtime"
  chmod 700 "$xvfb_tmp/runtime"
  export QT_QPA_PLATFORM=xcb HOME=$xvfb_tmp/home XDG_CONFIG_HOME=$xvfb_tmp/config XDG_CACHE_HOME=$xvfb_tmp/cache \
    XDG_DATA_HOME=$xvfb_tmp/data XDG_RUNTIME_DIR=$xvfb_tmp/runtime WINEPREFIX=$xvfb_tmp/wine
  # Another session may take the same number at the same moment, so a server
  # that does not come up means "try the next".
  for n in $(seq 97 120); do
    { [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; } && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$xvfb_tmp/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for i in $(seq 50); do
      [ -S "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "no free display between :97 and :120 for Xvfb" >&2
  return 1
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_tmp" ] && rm -rf "$xvfb_tmp"
  xvfb_pid= xvfb_tmp=
}
