#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Lorvanel needs.
# Idempotent: packages already present are left alone, and apt is not touched at all then.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # iPod database
  libgpod-dev libglib2.0-dev libgdk-pixbuf-2.0-dev
  # iPod touch
  libimobiledevice-dev libplist-dev libusbmuxd-dev
  # fifth-generation nano
  libsqlite3-dev zlib1g-dev libssl-dev
  # interface, settings, translations
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-multimedia-dev
  qt6-pdf-dev libqt6svg6 qt6-image-formats-plugins qt6-translations-l10n libgl-dev
  # audio
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libtag1-dev
  # USB and device registry
  libusb-1.0-0-dev libudev-dev
  # run time
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  fonts-wqy-microhei fonts-noto-cjk fonts-dejavu-core fonts-liberation2 adwaita-icon-theme
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev ffmpeg xvfb xauth libxcb1-dev imagemagick clang-format
  dosfstools fusefat fuse3 umockdev libumockdev-dev e2fsprogs util-linux mount sqlite3
  # desktop files and the Debian package: validators, dpkg-shlibdeps, lintian
  desktop-file-utils appstream udev dpkg-dev file lintian
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

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
