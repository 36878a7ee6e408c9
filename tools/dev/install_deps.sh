#!/usr/bin/env bash
# Installs, idempotently, the Debian packages the project builds and tests
# with; only what is missing is installed.
set -euo pipefail

packages=(
    cmake make g++ clang file openssl ca-certificates
    googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
    libsqlite3-dev libcurl4-openssl-dev libssl-dev librapidxml-dev
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    wine wine64 wine32:i386 libwine:i386
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
