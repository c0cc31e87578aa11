#!/usr/bin/env bash
# Installs every Debian 12 package the project builds, tests and runs with.
# Idempotent: installs only what is missing, and runs apt-get update at most once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang libclang-rt-14-dev
  libicu-dev zlib1g-dev libpng-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3 python3-xlrd python3-xlwt
  qt6-base-dev fonts-liberation2 fonts-wqy-microhei xvfb xauth x11-utils xdotool
  librsvg2-bin desktop-file-utils appstream shared-mime-info groff-base dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
