#!/usr/bin/env bash
# Installs the Debian packages Zumen needs to build, test and run; does nothing when all are present.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libqt6opengl6-dev qt6-translations-l10n
  libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-contrib libsane-dev sane-utils libtiff-dev libtiff-tools zlib1g-dev libleptonica-dev
  libpoppler-qt6-dev libgtest-dev libgmock-dev libbenchmark-dev poppler-utils
  clang libclang-rt-14-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  desktop-file-utils appstream dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "Installing: ${missing[*]}"
sudo=""; [[ $(id -u) == 0 ]] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
