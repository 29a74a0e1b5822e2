#!/usr/bin/env bash
# Installs what building and testing upsfw needs on Debian 12, where it is missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl1-mesa-dev libgtest-dev libgmock-dev
          srecord xvfb xauth fonts-dejavu-core clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "upsfw: installing ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
