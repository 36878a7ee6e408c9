#!/usr/bin/env bash
# The folders of src/ form layers, each including only its own and lower ones:
#   ground     the dependency-free utilities: nothing of ours but itself
#   platform   the ports, their adapters and the stand-in: ground
#   support    log, log codes, string table: ground and platform
#   the rest   the subsystems: each other and every layer below, never tool
#              or test code (a folder outside src/)
# An include of a folder is "folder/..."; a file's own folder's headers are
# spelled the same way. With --self-test it first shows each rule biting.
set -euo pipefail

# The folders a file in folder $2 of source tree $1 may include.
allowed() {
    case $2 in
    ground) printf '%s\n' ground ;;
    platform) printf '%s\n' ground platform ;;
    support) printf '%s\n' ground platform support ;;
    *) (cd "$1" && find . -mindepth 1 -maxdepth 1 -type d -printf '%f\n') ;;
    esac
}

# Prints every include of a folder its layer may not include; fails when
# there is one.
check() {
    local src=$1 folder found=""
    for folder in $(cd "$src" && find . -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | sort); do
        local pattern hits
        pattern=$(allowed "$src" "$folder" | paste -sd'|')
        hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$src/$folder" |
            grep -vE "#[[:space:]]*include[[:space:]]*\"($pattern)/" || true)
        if [[ -n $hits ]]; then
            found+="$hits"$'\n'
        fi
    done
    if [[ -n $found ]]; then
        echo "FAIL: an include reaches a layer above its own, or outside src/:" >&2
        printf '%s' "$found" >&2
        return 1
    fi
}

if [[ ${1:-} == --self-test ]]; then
    shift
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # clang-format off
    cases=(
        # file                      include                         verdict
        "ground/a.cpp               ground/text.h                   ok"
        "ground/a.cpp               platform/last_error.h           refused"
        "platform/a.cpp             ground/bounded_xml.h            ok"
        "platform/standin/a.cpp     platform/files.h                ok"
        "platform/a.cpp             support/log.h                   refused"
        "platform/standin/a.cpp     settings/runtime_config.h       refused"
        "support/a.cpp              platform/files.h                ok"
        "support/a.cpp              net/http.h                      refused"
        "net/a.cpp                  update/update_state.h           ok"
        "net/a.cpp                  korin_log/log_reader.h          refused"
    )
    # clang-format on
    for line in "${cases[@]}"; do
        read -r file include verdict <<<"$line"
        rm -rf "${work:?}"/*
        mkdir -p "$work"/{ground,platform/standin,support,net,update,settings}
        printf '#include "%s"\n' "$include" >"$work/$file"
        if check "$work" 2>/dev/null; then got=ok; else got=refused; fi
        if [[ $got != "$verdict" ]]; then
            echo "FAIL: self-test: $file including $include was $got, not $verdict" >&2
            exit 1
        fi
    done
fi
check "$1/src"
