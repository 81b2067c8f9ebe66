#!/bin/bash
# updpack check end to end: the reference example of docs/script.md gives
# the plan kept in examples/update-plan.json; a cut or damaged package, a
# missing source and a malformed statement fail with their reasons; a script
# saved as UTF-8 and a number beyond 32 bits pass with a warning; options
# updpack does not know are refused before anything is written.
#
#   updpack-check.sh UPDPACK...
# UPDPACK... is the command that runs updpack: its path, or a runner and the
# path (run-in-wine.sh ROOT updpack.exe).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
updpack=("$@")
. "$(dirname "${BASH_SOURCE[0]}")/updpack-common.sh"

# The code block that follows the line "<!-- NAME -->" in docs/script.md.
docs_block() {
    awk -v marker="<!-- $1 -->" '
        $0 == marker { found = 1; next }
        found == 1 && /^```/ { found = 2; next }
        found == 2 && /^```/ { exit }
        found == 2 { print }' "$root/docs/script.md"
}

# The reference example: examples/update packed, checked, its plan compared.
# The folder checked holds the package alone, so every source is packed.
mkdir files example
cp "$root/examples/update/"* files/
# script_ac.dat, the add-contents edition's script, is the last member.
(cd files && "${updpack[@]}" create ../example/UpdateData.dat Update.ini config.txt ソフト情報.txt title2.dat \
    script.dat script_ac.dat) >/dev/null || fail "cannot pack the example"
run check example
expect_status 0 "the reference example"
! grep -q -e ': warning: ' -e ': error' err.txt || fail "the reference example warns: $(cat err.txt)"
# What becomes of the saves, and where the sources are.
expect_error 'Update.ini: note: saves of the standard edition: installed below 1000 they are deleted; from it on they are converted by' \
    "the saves of the reference example"
expect_error 'Update.ini: note: sources in UpdateData.dat: script.dat, script_ac.dat' "the sources of the reference example"
diff -u "$root/examples/update-plan.json" out.txt >&2 || fail "the reference example's plan differs"
diff -u <(docs_block 'example: Update.ini') <(iconv -f CP932 -t UTF-8 "$root/examples/update/Update.ini" | tr -d '\r') \
    >&2 || fail "docs/script.md shows another Update.ini than examples/update/Update.ini"
diff -u <(docs_block 'example: plan') "$root/examples/update-plan.json" >&2 ||
    fail "docs/script.md shows another plan than examples/update-plan.json"

# The package cut short by 600 bytes, the digest list and part of the last
# member: the member is named, and the statement that copies it.
cp -R example cut
size=$(stat -c %s cut/UpdateData.dat)
truncate -s $((size - 600)) cut/UpdateData.dat
run check cut
expect_status 1 "a cut package"
expect_error 'UpdateData.dat: error: member "script_ac.dat" (entry 5) runs past the end of the file' "a cut package"
expect_error 'Update.ini(13): error: CopyFile source "script_ac.dat" (add-contents edition) runs past the end of UpdateData.dat' \
    "a cut package"

# A missing source, a malformed statement.
mkdir broken
printf 'CopyFile = a.dat, b.dat, a.dat\r\n' >broken/Update.ini
printf 'A' >broken/a.dat
run check broken
expect_status 1 "a missing source"
expect_error 'Update.ini(1): error: CopyFile source "b.dat" (add-contents edition) is found neither loose nor in UpdateData.dat' \
    "a missing source"
grep -qF '"destination": "a.dat"' out.txt || fail "no plan beside the error: $(cat out.txt)"
printf 'AppTitle = A\r\nNewVersion = 1020, x\r\n' >broken/Update.ini
run check broken
expect_status 1 "a malformed statement"
expect_error 'Update.ini(2): error 4: NewVersion: addContents must be a number or a named constant, not "x"' \
    "a malformed statement"
[ ! -s out.txt ] || fail "a plan for a script that does not load: $(cat out.txt)"

# Warnings only: the check passes.
mkdir warned
printf 'AppTitle = 白銀の庭\r\nNewVersion = 99999999999999999999, 1020\r\nRegistory = Software\\X\r\nCopyFile = a.txt, a.txt, a.txt\r\n' >warned/Update.ini
printf 'a' >warned/a.txt
run check warned
expect_status 0 "warnings only"
expect_error 'Update.ini(1): warning: the script is UTF-8 text' "a script saved as UTF-8"
expect_error 'Update.ini(2): warning: NewVersion: standard 99999999999999999999 is too large for its 32 bits: it reads as 1661992959' \
    "a number beyond 32 bits"
# A UTF-8 script: the texts its errors quote read as they were written.
mkdir utf8
printf 'AppTitle = 白銀の庭\r\nRegistory = Software\\X\r\nNewVersion = 1020, 1020\r\nCopyFile = 新着情報.txt, 新着情報.txt, a.txt\r\n' >utf8/Update.ini
run check utf8
expect_status 1 "a UTF-8 script with a missing source"
expect_error 'CopyFile source "新着情報.txt" (both editions) is found neither loose nor in UpdateData.dat' \
    "a UTF-8 script's text"
run check --strict warned
expect_status 1 "warnings with --strict"
expect_error 'error: --strict: the warnings above fail the check' "warnings with --strict"

# Unknown options are refused with the usage, and nothing is written.
printf 'x' >a.txt
for arguments in 'create --shortnames pkg.dat a.txt' 'create pkg.dat -v a.txt' 'list -l pkg.dat' \
    'extract example/UpdateData.dat -D x' 'check -q' 'diff old new --out x --frob 1' 'try x --game old -v' \
    '--frobnicate'; do
    # shellcheck disable=SC2086
    run $arguments
    expect_status 2 "updpack $arguments"
    expect_error 'unknown option "-' "updpack $arguments"
    expect_error 'Usage: updpack create' "updpack $arguments"
done
[ ! -e pkg.dat ] && [ ! -e ./--shortnames ] || fail "an unknown option wrote a package"
run create --short-names pkg.dat a.txt
expect_status 0 "create --short-names"
run extract pkg.dat -C example a.txt
expect_status 0 "extract -C"

finish "updpack check"
