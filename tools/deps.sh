# Sourced by tools/build and tools/test: installs the Debian packages a step
# needs when they are missing. Nothing is downloaded from anywhere else.

qf_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

qf_apt_updated=
# qf_need_packages <debian-package>...
qf_need_packages() {
  missing=
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
  done
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  if [ -z "$qf_apt_updated" ]; then
    qf_sudo apt-get update -qq || return 1
    qf_apt_updated=1
  fi
  # shellcheck disable=SC2086
  qf_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null || return 1
}

QF_NATIVE_PACKAGES="cmake make g++ libgtest-dev libbenchmark-dev clang-format"
QF_WINDOWS_PACKAGES="cmake make g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine"
QF_PAGE_PACKAGES="chromium nodejs"

# npm ships inside some nodejs builds and as Debian's own package alongside others.
qf_need_npm() {
  command -v npm >/dev/null || qf_need_packages npm
}
# The host tier: a virtual X display, window control, screenshots, the driver.
QF_HOST_PACKAGES="xvfb xauth xdotool imagemagick python3"
