#!/usr/bin/env bash
# Installs, idempotently, the Debian packages the project builds and tests
# with; only what is missing is installed.
#
# The archive's indexes are sometimes briefly out of step (one architecture's
# Packages file mid-sync). A failed index update is only a warning while what
# is needed can still be installed, and the 32-bit Wine parts never block the
# rest: without them the Windows layer runs the 64-bit build and says so.
set -euo pipefail

required=(
    cmake make g++ clang file openssl ca-certificates
    googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
    libsqlite3-dev libcurl4-openssl-dev libssl-dev librapidxml-dev
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    wine wine64
    nginx-light tinyproxy
)
optional=(wine32:i386 libwine:i386)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing_of() {
    local package
    for package in "$@"; do
        installed "$package" || echo "$package"
    done
}

mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
    exit 0
fi

apt_install() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
        --no-install-recommends "$@" >/dev/null
}

update_indexes() {
    if ! "${sudo_cmd[@]}" apt-get update -qq; then
        echo "install_deps: warning: some package indexes failed to update; going on with what is there" >&2
    fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if ! "${sudo_cmd[@]}" dpkg --add-architecture i386; then
        echo "install_deps: warning: cannot add the i386 architecture; 32-bit Wine will be missing" >&2
    fi
fi
update_indexes

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! apt_install "${missing[@]}"; then
        # One more try after a fresh update: a mirror mid-sync usually settles.
        sleep 5
        update_indexes
        apt_install "${missing[@]}"
    fi
fi

if [ ${#missing_optional[@]} -gt 0 ]; then
    echo "Installing (optional): ${missing_optional[*]}"
    # wine32 must match wine64's version exactly; an i386 index that is out
    # of step makes that impossible for now, which is not an error here.
    if ! apt_install "${missing_optional[@]}"; then
        echo "install_deps: warning: could not install ${missing_optional[*]};" \
            "the Windows tests will run the 64-bit build" >&2
    fi
fi
exit 0
