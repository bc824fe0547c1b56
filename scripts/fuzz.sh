#!/bin/sh
# Builds the libFuzzer targets in their own folder and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 s, every target)
# The grown corpora stay in <build>/fuzz/corpus/<name>; crashes land in <build>/fuzz/crashes.
# Afterwards every workbook input of the corpus is written and read back with xlrd.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVANE_FUZZ_BUILD:-$here/../build-fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_scale fuzz_decimal fuzz_adostring fuzz_odbcstring fuzz_xls"}

if ! command -v clang++ >/dev/null 2>&1 ||
   ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends clang libclang-rt-14-dev python3-xlrd
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DTOLVANE_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target $targets xls_replay

mkdir -p "$build/fuzz/crashes"
status=0
for t in $targets; do
    name=${t#fuzz_}
    corpus=$build/fuzz/corpus/$name
    mkdir -p "$corpus"
    cp -n "$here/fuzz/corpus/$name/"* "$corpus/" 2>/dev/null || true
    log=$build/fuzz/$t.log
    echo "== $t: ${seconds} s"
    if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len=70000 -rss_limit_mb=4096 \
        -artifact_prefix="$build/fuzz/crashes/$t-" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
        echo "$t FAILED, see $log"
        status=1
    fi
    # The last status line carries the coverage (cov:) and features (ft:) reached.
    grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
done

if echo "$targets" | grep -q fuzz_xls; then
    "$build/fuzz/xls_replay" "$build/fuzz/corpus/xls" || status=1
fi
exit $status
