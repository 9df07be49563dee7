# Shared by run.sh and test.sh: install what the build needs, then build.

# Debian packages the build and the tests need.
ZVEKLC_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev liblz4-dev nlohmann-json3-dev ca-certificates qt6-base-dev fonts-ipafont-gothic)

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

# configure_and_build DIR [cmake options...]; BUILD_TARGET limits the build to the targets it names.
configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  # shellcheck disable=SC2086 # BUILD_TARGET may name several targets
  cmake --build "$dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target $BUILD_TARGET}
}
