#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only when missing,
# after a single apt-get update. Usage: tools/setup.sh [extra-package ...]
set -euo pipefail

packages=(g++ cmake make libgtest-dev qt6-base-dev qt6-svg-dev dpkg-dev "$@")
# The workbench: muparser evaluates expressions, nlohmann-json reads workspaces.
packages+=(libmuparser-dev nlohmann-json3-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
