#!/usr/bin/env bash
# Installs what the build, the tests and the tools need, from Debian's packages.
# Idempotent: installs only what is missing and does nothing otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcairo2-dev libx11-dev libxtst-dev libfontconfig-dev fonts-dejavu-core
  libsndfile1-dev
  xvfb xdotool x11-apps
  g++-mingw-w64-x86-64-posix wine64
  zam-plugins
  lv2-dev lilv-utils sordi jalv jackd2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
plain=()
with_recommends=()
for p in "${missing[@]}"; do
  # wine loads its X11 and font libraries at run time; they come as its
  # recommendations, which the window tests under Xvfb need.
  case "$p" in
    wine64) with_recommends+=("$p") ;;
    *) plain+=("$p") ;;
  esac
done
if [ ${#plain[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${plain[@]}"
fi
if [ ${#with_recommends[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq "${with_recommends[@]}"
fi
