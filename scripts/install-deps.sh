#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those that are missing,
# and says which ones it installs. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libqt6opengl6-dev qt6-multimedia-dev qt6-qpa-plugins
  libglu1-mesa-dev libgl1-mesa-dri
  libsleef-dev libtbb-dev nlohmann-json3-dev libcli11-dev libpng-dev libgraphviz-dev
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  # Debian's Qt Multimedia sends sound to PulseAudio (built in, no plugin); the tap sound test
  # starts a server of its own and records it with parec.
  pulseaudio pulseaudio-utils
  locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests check that a German locale changes neither number parsing nor output.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "install-deps: generating the de_DE.UTF-8 locale"
  $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi
