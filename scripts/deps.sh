#!/usr/bin/env bash
# Installs everything the build, the tests and the sample conversion need on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ pkg-config python3
  clang libclang-rt-14-dev
  libgtest-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 locales
  libpoppler-glib-dev libpoppler-private-dev libcairo2-dev libcld2-dev poppler-data poppler-utils qpdf
  fonts-dejavu-core fonts-noto-cjk chromium
  python3-pikepdf
)
# axe-core and playwright-core for the semantic checks come from npm; a Node.js that brings its
# own npm may be installed already, and Debian's npm would conflict with it.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Wine needs a UTF-8 locale; ja_JP.UTF-8 also gives it a double-byte ANSI code page for the tests.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
