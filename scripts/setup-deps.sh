#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Safe to run again: it only
# calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3 curl git clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev duktape-dev nlohmann-json3-dev libstb-dev
  # HTTPS: the client links libssl; the reference server makes its test certificates with openssl.
  libssl-dev openssl
  # The office suite the office import drives (headless), its SDK for the UNO headers, and a font
  # with Chinese glyphs so documents lay out and paginate as on a desktop.
  libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui libreoffice-dev
  fonts-wqy-microhei
  # The forms on screen: Qt 6 Widgets, its platform plugins (a display, or offscreen for the screen
  # tests) and the GL headers its CMake package asks for. The font above gives the Chinese captions.
  qt6-base-dev qt6-qpa-plugins libgl-dev qt6-translations-l10n
  # The fuzz targets: clang and its libFuzzer and sanitizer runtimes.
  clang libclang-rt-dev
  # The Windows DLL: MinGW-w64 (C++, widl, zlib) cross-builds it for x86-64 and 32-bit x86; Wine
  # runs its registration and the Windows script hosts against it, on a Chinese locale (code page
  # 936), the 32-bit DLL through Wine's 32-bit half (wine32, of the i386 architecture, below).
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev wine wine64 locales
  # The browser tests: the bridge's client in a headless Chromium, driven from Node by
  # puppeteer-core (installed by npm in tests/browser, with no browser of its own).
  chromium
)

# Wine's 32-bit half is a package of the i386 architecture, which dpkg must know first.
foreign=()
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  packages+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || foreign+=(i386)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# Node and npm: a machine may have them from another source than Debian's packages (whose nodejs
# then refuses Debian's npm); only when the commands are missing are Debian's installed.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or install these packages yourself): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  for architecture in "${foreign[@]}"; do dpkg --add-architecture "$architecture"; done
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes the Windows code page from the locale: the Windows tests run as on a Chinese system.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root (or generate the zh_CN.UTF-8 locale yourself)" >&2
    exit 1
  fi
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
