#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing (as root, or through sudo). Debian 12.
set -euo pipefail

# libconfig++-dev is for the benchmark alone: it compares our configuration
# layer with libconfig (bench/ConfigBench.cpp); the library does not use it.
packages=(
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
  libopenal-dev libsndfile1-dev libebur128-dev libasound2-dev libconfig++-dev libphysfs-dev libspdlog-dev
  flex bison libgtest-dev libgmock-dev googletest libbenchmark-dev
  libx11-dev xvfb xauth sox doxygen
  libpulse-dev pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
