# Shared by run.sh and test.sh: install what the build needs, then build.

# Debian packages the build and the tests need.
ZVEKLC_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev liblz4-dev nlohmann-json3-dev ca-certificates qt6-base-dev
  qt6-translations-l10n fonts-ipafont-gothic clang-format dpkg-dev appstream)

ensure_packages() {
  local missing=()
  for p in "${ZVEKLC_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What the Windows build needs besides: MinGW-w64 (posix threads), Wine to
# run its tests, GoogleTest's sources to build with MinGW, and NSIS (makensis)
# for the installer.
ZVEKLC_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 googletest nsis)

ensure_windows_packages() {
  ensure_packages "${ZVEKLC_WINDOWS_PACKAGES[@]}" "$@"
}

# wine_start: a private Wine prefix under /tmp for this run, its server kept
# running (wineserver -p) so that every program starts warm; wine_stop ends
# the server and removes the prefix. Wine's own background programs start
# here, with no pipe of a test runner to hold open. Windows get Wine's null
# display driver, so that tests can make them without an X server.
wine_tmp=

wine_start() {
  wine_tmp=$(mktemp -d /tmp/zveklc-wine.XXXXXX)
  export WINEPREFIX=$wine_tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEARCH=win64
  mkdir "$WINEPREFIX"
  wineserver -p
  wine wineboot -i >/dev/null 2>&1 </dev/null
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
  # The desktop started by wineboot keeps its driver: start again, and warm
  # up before the tests start their programs side by side.
  wineserver -k
  wineserver -w
  wineserver -p
  wine wineboot >/dev/null 2>&1 </dev/null
}

wine_stop() {
  [ -n "$wine_tmp" ] || return 0
  wineserver -k 2>/dev/null || true
  rm -rf "$wine_tmp"
  wine_tmp=
}

# configure_and_build DIR [cmake options...]; BUILD_TARGET limits the build to the targets it names.
configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  # shellcheck disable=SC2086 # BUILD_TARGET may name several targets
  cmake --build "$dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target $BUILD_TARGET}
}
