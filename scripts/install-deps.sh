#!/usr/bin/env bash
# Installs the Debian packages Jotbox needs to build, run and test.
# Quick and silent when everything is present: apt-get runs only for what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  rapidjson-dev libicu-dev libdtl-dev
  libgtest-dev libgmock-dev
  libx11-dev libxcb1-dev libxcb-xtest0-dev libxcb-xkb-dev libxcb-xinput-dev libxi-dev libxtst-dev
  xvfb xauth xdotool x11-utils x11-xserver-utils trayer haskell-gtk-sni-tray-utils haskell-status-notifier-item-utils openbox kwin-x11
  xfce4-panel xfwm4 xfconf lxqt-panel tint2 plasma-workspace plasma-desktop gnome-shell gnome-shell-extension-appindicator
  dbus-daemon dbus-bin libglib2.0-bin
  xdg-desktop-portal xdg-desktop-portal-kde libkf5globalaccel-bin sway waybar xwayland qt6-wayland
  syncthing rclone unison curl xclip
  at-spi2-core python3-pyatspi
  dpkg-dev appstream desktop-file-utils lintian
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
