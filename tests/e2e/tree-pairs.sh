# Two builds of a game made at random, for the tests of updpack diff,
# natively and under Wine. Source it from bash, then
#   make_tree_pair SEED OLD NEW
# makes the folder OLD, a build of some files in some folders, and NEW, the
# same build after changes of every kind an update makes: files new (also
# in new folders, empty, of a base name another file has), changed, changed
# in a few bytes only, moved, deleted. The same SEED makes the same pair.

# Writes SIZE bytes to FILE, a text that TAG tells from every other file's.
fill_file() {
    head -c "$2" <(yes "$3") >"$1"
}

# The files below FOLDER, relative to it, in name order.
files_below() {
    (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

make_tree_pair() {
    local seed=$1 old=$2 new=$3 i folder name path target files kind size count
    RANDOM=$seed
    local folders=(. data data/bgm 画像 ソフト表)
    local names=(a.dat 'read me.txt' script.dat 白銀.dat 表示.txt long_name_of_a_member_beyond_31_bytes.dat cfg)
    local new_folders=(movie movie/op 新しい data/new)
    for folder in "${folders[@]}"; do mkdir -p "$old/$folder"; done
    count=$((8 + RANDOM % 8))
    for ((i = 0; i < count; i++)); do
        folder=${folders[RANDOM % ${#folders[@]}]}
        name=${names[RANDOM % ${#names[@]}]}
        path="$old/$folder/$name"
        [ ! -e "$path" ] || path="$old/$folder/$i$name"
        fill_file "$path" $((1 + RANDOM % 30000)) "old $seed $i"
    done
    cp -a "$old" "$new"
    mapfile -t files < <(files_below "$new")
    i=0
    for path in "${files[@]}"; do
        i=$((i + 1))
        kind=$((RANDOM % 8))
        case $kind in
        0) fill_file "$new/$path" $((1 + RANDOM % 30000)) "changed $seed $i" ;;
        1)
            size=$(stat -c %s "$new/$path")
            printf 'edit%d' "$i" | dd of="$new/$path" bs=1 seek=$((RANDOM % size)) conv=notrunc 2>/dev/null
            truncate -s "$size" "$new/$path"
            ;;
        2)
            folder=${folders[RANDOM % ${#folders[@]}]}
            [ $((RANDOM % 2)) -eq 0 ] || folder=${new_folders[RANDOM % ${#new_folders[@]}]}
            mkdir -p "$new/$folder"
            target="$new/$folder/m$i-$(basename "$path")"
            mv "$new/$path" "$target"
            ;;
        3) rm "$new/$path" ;;
        esac
    done
    # New files: one in a new folder, one of a base name taken, and now and
    # then an empty one.
    folder=${new_folders[RANDOM % ${#new_folders[@]}]}
    mkdir -p "$new/$folder"
    fill_file "$new/$folder/new$seed.dat" $((1 + RANDOM % 30000)) "new $seed"
    mkdir -p "$new/data/two"
    fill_file "$new/data/two/script.dat" $((1 + RANDOM % 3000)) "second script $seed"
    [ $((RANDOM % 4)) -ne 0 ] || : >"$new/data/empty.dat"
}
