#!/usr/bin/env bash
# Installs the office suite the office import drives (headless, no GUI toolkit), its C++ SDK for
# the UNO headers and libraries, and a font with Chinese glyphs so that documents with Chinese text
# lay out and paginate as they would on a desktop. Safe to run again: it only calls apt-get when
# something is missing.
set -euo pipefail

packages=(
  libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
  libreoffice-dev
  fonts-wqy-microhei
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install these packages yourself): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
