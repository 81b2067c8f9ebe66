#!/bin/bash
# Checks the include lines of the source tree against the order of its
# folders: a folder includes only itself and the folders below it.
#
#   common -> platform -> package -> script -> convert, install -> check -> shell -> main, tools
#
# platform/posix and platform/win32 include nothing above common but
# platform.h and its neighbours, and nothing outside them includes theirs;
# convert and install never include each other; resources/ holds the
# Windows resources' ids.
#
#   include_graph.sh ROOT   ROOT holds src/ and tools/; exits 1 on an
#                           include against the order, naming it
#   include_graph.sh --self-test
#                           passes when a tree whose install/ includes
#                           shell/ fails the check
set -euo pipefail
root=$1
if [ "$root" = --self-test ]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/src/install" "$tree/tools"
    printf '#include "shell/apply_sequence.h"\n' >"$tree/src/install/file_operations.cpp"
    if bash "${BASH_SOURCE[0]}" "$tree" 2>/dev/null; then
        echo "an include of shell/ from install/ passed the check" >&2
        exit 1
    fi
    exit 0
fi

# The rank of each folder; a folder may include a folder of lower rank.
declare -A rank=([common]=0 [platform]=1 [package]=2 [script]=3 [convert]=4 [install]=4 [check]=5
                 [shell]=6 [main]=7 [tools]=7 [resources]=0)

bad=0
while IFS= read -r -d '' file; do
    relative=${file#"$root"/}
    folder=${relative#src/}
    folder=${folder%%/*}
    [ "$relative" = "${relative#tools/}" ] || folder=tools
    sub=${relative#src/platform/}
    sub=${sub%%/*}
    while IFS= read -r included; do
        target=${included%%/*}
        [ -n "${rank[$target]:-}" ] || continue
        allowed=0
        if [ "$target" = "$folder" ]; then
            allowed=1
            # posix and win32 never reach into each other.
            if [ "$folder" = platform ] && [ "$relative" != "src/platform/$sub" ]; then
                case $included in
                platform/"$sub"/* | platform/*.h) ;;
                *) allowed=0 ;;
                esac
            fi
        elif [ "${rank[$target]}" -lt "${rank[$folder]}" ]; then
            allowed=1
            # Above the platform, only its interface is known.
            case $included in platform/*/*) allowed=0 ;; esac
        fi
        if [ "$allowed" = 0 ]; then
            echo "$relative includes $included, which $folder may not use" >&2
            bad=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/tools" -name '*.cpp' -print0 -o -name '*.h' -print0)
exit "$bad"
