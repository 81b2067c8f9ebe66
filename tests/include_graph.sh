#!/bin/bash
# Checks the include lines of the source tree against the order of its
# folders: a folder includes only itself and the folders below it.
#
#   common -> platform -> package -> script -> convert, install -> check -> shell -> main, tools
#
# platform/posix and platform/win32 include nothing above common but
# the platform_*.h headers and their neighbours, and nothing outside them includes theirs;
# convert and install never include each other; resources/ holds the
# Windows resources' ids.
#
# The build enforces the order through each library's include folder (see
# src/CMakeLists.txt); this check also catches what the compiler finds
# beside the including file: an include relative to it ("../shell/x.h"),
# however the line is indented or spaced.
#
#   include_graph.sh ROOT   ROOT holds src/ and tools/; exits 1 on an
#                           include against the order, naming it
#   include_graph.sh --self-test
#                           passes when trees whose install/ includes shell/
#                           in each way fail the check, and one that
#                           includes script/ passes
#   include_graph.sh --wall COMPILER ROOTS
#                           passes when each library's include folder in
#                           ROOTS (the native build's include-roots) finds
#                           the headers of exactly the folders it may use
set -euo pipefail

# The rank of each folder; a folder may include a folder of lower rank.
declare -A rank=([common]=0 [platform]=1 [package]=2 [script]=3 [convert]=4 [install]=4 [check]=5
                 [shell]=6 [main]=7 [tools]=7 [resources]=0)

# Whether a file of folder may include the header at included (a path below
# src/, or tools/...), "platform/posix/..." for a layer's own header.
may_include() {
    local folder=$1 layer=$2 included=$3 target
    target=${included%%/*}
    [ -n "${rank[$target]:-}" ] || return 0
    if [ "$target" = "$folder" ]; then
        # posix and win32 never reach into each other.
        case $included in
        platform/*/*) [ "$included" != "${included#"platform/$layer/"}" ] ;;
        *) return 0 ;;
        esac
    elif [ "${rank[$target]}" -lt "${rank[$folder]}" ]; then
        # Above the platform, only its interface is known.
        case $included in platform/*/*) return 1 ;; esac
    else
        return 1
    fi
}

check_tree() {
    local root=$1 bad=0 file relative folder layer included resolved
    while IFS= read -r -d '' file; do
        relative=${file#"$root"/}
        folder=${relative#src/}
        folder=${folder%%/*}
        [ "$relative" = "${relative#tools/}" ] || folder=tools
        layer=${relative#src/platform/}
        layer=${layer%%/*}
        while IFS= read -r included; do
            # The compiler looks beside the including file first.
            if [ -e "$(dirname "$file")/$included" ]; then
                resolved=$(realpath -m --relative-to="$root/src" "$(dirname "$file")/$included")
            else
                resolved=$included
            fi
            case $resolved in ../tools/*) resolved=tools/${resolved#../tools/} ;; esac
            if ! may_include "$folder" "$layer" "$resolved"; then
                echo "$relative includes $included, which $folder may not use" >&2
                bad=1
            fi
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    done < <(find "$root/src" "$root/tools" -name '*.cpp' -print0 -o -name '*.h' -print0)
    return "$bad"
}

case ${1:-} in
--self-test)
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/src/install" "$tree/src/shell" "$tree/src/script" "$tree/tools"
    : >"$tree/src/shell/apply_sequence.h"
    : >"$tree/src/script/update_plan.h"
    for line in '#include "shell/apply_sequence.h"' '  #include "shell/apply_sequence.h"' \
        '#  include "shell/apply_sequence.h"' '#include "../shell/apply_sequence.h"'; do
        printf '%s\n' "$line" >"$tree/src/install/file_operations.cpp"
        if check_tree "$tree" 2>/dev/null; then
            echo "install/ passed the check with: $line" >&2
            exit 1
        fi
    done
    printf '#include "../script/update_plan.h"\n' >"$tree/src/install/file_operations.cpp"
    check_tree "$tree" || { echo "an include of script/ from install/ failed the check" >&2; exit 1; }
    ;;
--wall)
    compiler=$2 roots=$3 bad=0
    for library in common:updcommon platform:updplatform package:updpackage script:updscript convert:updconvert \
        install:updinstall check:updcheck shell:updshell; do
        folder=${library%%:*}
        for header in common/sjis_text.h platform/platform_files.h platform/posix/posix_files.h \
            package/member_reader.h script/update_plan.h convert/save_folder.h install/shortcuts.h \
            check/plan_json.h shell/command_line.h; do
            expected=found
            may_include "$folder" posix "$header" || expected=missing
            found=missing
            if printf '#include "%s"\n' "$header" |
                "$compiler" -std=c++20 -E -x c++ - -I"$roots/${library#*:}" -o /dev/null 2>/dev/null; then
                found=found
            fi
            if [ "$found" != "$expected" ]; then
                echo "$folder/ includes $header: $found, expected $expected" >&2
                bad=1
            fi
        done
    done
    exit "$bad"
    ;;
*)
    check_tree "$1"
    ;;
esac
