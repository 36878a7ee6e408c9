#!/usr/bin/env bash
# Installs, idempotently, the Debian packages the project builds and tests
# with; only what is missing is installed.
#
# The archive's indexes are sometimes briefly out of step (one architecture's
# Packages file mid-sync). A failed index update is only a warning while what
# is needed can still be installed, and the 32-bit Wine parts never block the
# rest: without them the Windows layer runs the 64-bit build and says so.
# wine32:i386 must match wine64's version exactly, so it is installed in the
# same apt call as wine64 and libwine, after a dry run shows that the call
# removes nothing (a version clash once made apt remove wine64 for it); when
# the security suite's i386 index is out of step, that call is tried once
# more with the archive's main suites alone.
set -euo pipefail

required=(
    cmake make g++ clang file openssl ca-certificates
    googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
    libsqlite3-dev libcurl4-openssl-dev libssl-dev librapidxml-dev
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    qemu-user-static nginx-light tinyproxy wrk gnuplot-nox
)
wine=(wine wine64 libwine)
# The 32-bit half of Wine; these machines run it through qemu's emulator.
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
mapfile -t missing_wine < <(missing_of "${wine[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_wine[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
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

install_required() {
    [ $# -gt 0 ] || return 0
    echo "Installing: $*"
    if ! apt_install "$@"; then
        # One more try after a fresh update: a mirror mid-sync usually settles.
        sleep 5
        update_indexes
        apt_install "$@"
    fi
}
install_required "${missing[@]}"

# Installs the 32-bit parts together with the Wine packages they must match,
# if a dry run with these apt options removes nothing.
install_wine32() {
    local plan
    plan=$(apt-get -s "$@" install --no-install-recommends "${wine[@]}" \
        "${missing_optional[@]}" 2>&1) || return 1
    if grep -q '^Remv ' <<<"$plan"; then
        echo "install_deps: warning: installing ${missing_optional[*]} would remove:" \
            "$(grep '^Remv ' <<<"$plan" | cut -d' ' -f2 | tr '\n' ' ')" >&2
        return 1
    fi
    apt_install "$@" "${wine[@]}" "${missing_optional[@]}"
}

# A folder of sources naming the machine's Debian suites but the security
# suite (deb822 stanzas and one-line entries alike), for one apt call.
main_suites_sources() {
    local parts
    parts=$(mktemp -d)
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" } !/Suites:[^\n]*-security/' "$f" \
            >"$parts/$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        grep -v -e '-security' "$f" >"$parts/$(basename "$f").list" || true
    done
    echo "$parts"
}

if [ ${#missing_optional[@]} -gt 0 ]; then
    echo "Installing (optional): ${missing_optional[*]}"
    if ! install_wine32; then
        parts=$(main_suites_sources)
        echo "install_deps: retrying ${missing_optional[*]} with the archive's main suites only" >&2
        install_wine32 -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$parts" ||
            echo "install_deps: warning: could not install ${missing_optional[*]};" \
                "the Windows tests will run the 64-bit build only" >&2
        rm -rf "$parts"
    fi
fi
# Without its 32-bit half, Wine alone.
mapfile -t missing_wine < <(missing_of "${wine[@]}")
install_required "${missing_wine[@]}"
exit 0
