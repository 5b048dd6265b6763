#!/usr/bin/env bash
# Builds the content readers' fuzz targets with clang into build-fuzz,
# replays the kept inputs of fuzz/regressions/, then fuzzes each target for
# FUZZ_SECONDS (20) from a seed corpus made from data/ (and fuzz/seeds/ for
# forms the sample has none of). Exits non-zero on any crash, hang or leak;
# the inputs that show one are left in build-fuzz/findings/<target>/.
# Then generated script programs run in their natural and their plain form on
# this build's sq for FORMS_SECONDS (90), from seed FORMS_FIRST (a new one each
# day); a pair whose traces differ is printed cut down, and kept in
# build-fuzz/findings/forms/.
#   FUZZ_TARGETS="font xml"  only these;  FUZZ_JOBS=4  targets at once
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$root/build-fuzz
seconds="${FUZZ_SECONDS:-20}"
jobs="${FUZZ_JOBS:-4}"
read -r -a targets <<<"${FUZZ_TARGETS:-sprite dialog font xml lng value script archive movie bytecode image sound profile attribs macros texlist markup}"

if [ ! -f "$dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DENGINE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" -j"$(nproc)"

# The seeds of each target, from the sample game where it has such files.
seed_files() {
    case "$1" in
        sprite)  ls data/sprites/*.spr ;;
        dialog)  ls data/dialogs/*.dlg ;;
        font)    ls data/fonts/*.xml ;;
        xml)     ls data/manifest.xml data/text/*.xml data/fonts/*.xml ;;
        lng)     ls data/*.lng ;;
        script)  ls data/scripts/*.nut tests/squirrel/scripts/*.nut ;;
        archive) ls data/*.pak "$dir/seed.zip" ;;
        value|movie|profile|attribs|texlist|markup) ls fuzz/seeds/"$1"/* ;;
        image)   ls data/gui/*.png data/fonts/*.png ;;
        sound)   find data/sounds fuzz/seeds/sound -type f ;;
        macros)  ls data/sprites/*.spr data/dialogs/*.dlg fuzz/seeds/macros/* ;;
        bytecode) ls "$dir"/seed-bytecode/*.cnut ;;
    esac
    if [ -d "fuzz/regressions/$1" ]; then ls "fuzz/regressions/$1"/*; fi
}

# The bytecode target's seeds: the scripts compiled with their line events, and
# again with a line break after each ';', '{' and ')', so more loops send one.
mkdir -p "$dir/seed-bytecode"
for f in data/scripts/*.nut tests/squirrel/scripts/*.nut; do
    b=$dir/seed-bytecode/$(basename "$f" .nut)
    sed 's/[;{)]/&\n/g' "$f" >"$b.split"
    echo "try writeclosuretofile(\"$b.cnut\", loadfile(\"$f\")); catch (e) {}"
    echo "try writeclosuretofile(\"$b.split.cnut\", loadfile(\"$b.split\")); catch (e) {}"
done | sed '1i enabledebuginfo(true);' >"$dir/seed-bytecode.nut"
"$dir/sq" "$dir/seed-bytecode.nut"

rm -f "$dir/seed.zip"
(cd data && zip -q -r "$dir/seed.zip" sprites strings.lng)

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export SDL_AUDIODRIVER=dummy
export ENGINE_NONINTERACTIVE=1

# Readers that may stop the program on bad content, as the real game does:
# the target catches that end instead, and what the cut-short build held
# is not freed, so leaks are not looked for there. The mutation sweeps of
# the unit tests check those readers for leaks, each case in a process.
leaks_for() {
    case "$1" in
        sprite|dialog|font|xml|texlist) echo 0 ;;
        *) echo 1 ;;
    esac
}

fuzz_one() {
    local target=$1 exe="$dir/fuzz/fuzz_$1"
    local leaks; leaks=$(leaks_for "$target")
    export ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=1"
    local corpus="$dir/corpus/$target" findings="$dir/findings/$target" log="$dir/findings/$target.log"
    mkdir -p "$corpus" "$findings"
    seed_files "$target" | xargs -I{} cp {} "$corpus/"
    if [ -d "fuzz/regressions/$target" ] &&
        ! "$exe" -detect_leaks="$leaks" "$root/fuzz/regressions/$target"/* >"$log" 2>&1; then
        echo "fuzz_$target: a kept regression input fails again (see $log)"
        return 1
    fi
    local dict=()   # keywords of the format, where it has some
    if [ -f "$root/fuzz/dict/$target.dict" ]; then dict=(-dict="$root/fuzz/dict/$target.dict"); fi
    if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -detect_leaks="$leaks" "${dict[@]}" \
        -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
        echo "fuzz_$target: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs" \
             "in ${seconds} s, corpus $(ls "$corpus" | wc -l), nothing found"
        return 0
    fi
    echo "fuzz_$target: FOUND a fault, input in $findings/:"
    grep -m1 -A12 -E 'ERROR|runtime error|deadly signal' "$log" || tail -20 "$log"
    return 1
}
export -f fuzz_one seed_files leaks_for
export root dir seconds

status=0
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_one {}' || status=1

forms_first="${FORMS_FIRST:-$(( $(date +%s) / 86400 * 1000000 ))}"
if ! "$dir/tests/squirrel/forms/compare_forms" "$dir/sq" --first "$forms_first" --count 100000000 \
        --seconds "${FORMS_SECONDS:-90}" --jobs "$jobs" --keep "$dir/findings/forms"; then
    echo "compare_forms: FOUND programs whose forms differ (see above; FORMS_FIRST=$forms_first)"
    status=1
fi
exit $status
