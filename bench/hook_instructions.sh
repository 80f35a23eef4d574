#!/usr/bin/env bash
# Instructions per call of the message hook, counted by callgrind, on its two common paths:
# a message it does not act on (WM_MOUSEMOVE) and a key press it ignores ('A'). Each
# figure is given with the next-hook call and without it: on Windows that call is the
# system's CallNextHookEx, outside our code, and here it is the simulated platform's.
# Also lists every function run outside the next-hook call, so that an allocation or a
# platform call on those paths shows.
#
#   bench/hook_instructions.sh            (ORV_HOOK_CALLS sets the calls per path, default 10000)
#
# Builds the bench preset (Release, no sanitizers) with one job. Outputs stay in
# build/bench/callgrind/.
set -euo pipefail
cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.."

calls="${ORV_HOOK_CALLS:-10000}"
bin=build/bench/benchmarks
out=build/bench/callgrind

echo "== build (bench preset, -j1)"
mkdir -p "$out"
if ! { cmake --preset bench &&
    cmake --build --preset bench --target benchmarks -j1; } >"$out/build.log" 2>&1; then
    cat "$out/build.log" >&2
    exit 1
fi
tail -n 1 "$out/build.log"

# The exact names callgrind knows the functions by.
hook=$(nm -C "$bin" | sed -n 's/^[0-9a-f]* T \(KeyHook(.*)\)$/\1/p')
next=$(nm -C "$bin" | sed -n 's/^[0-9a-f]* T \(platform::CallNextHook(.*)\)$/\1/p')
if [ -z "$hook" ] || [ -z "$next" ]; then
    echo "hook_instructions: KeyHook or platform::CallNextHook not found in $bin" >&2
    exit 1
fi

# The collected instructions of a callgrind output.
total() { callgrind_annotate "$1" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }'; }
# How many times the calls recorded in a callgrind output entered function $2.
entered() {
    callgrind_annotate --inclusive=yes --tree=calling --threshold=100 "$1" |
        awk -v f="$2" 'index($0, "> ") && index($0, ":" f " (") {
            s = substr($0, index($0, ":" f " (") + length(f) + 3); sub(/x\).*/, "", s)
            gsub(",", "", s); n += s } END { print n + 0 }'
}
# Every function that ran while collecting, with its own instructions: "name<TAB>Ir".
functions() {
    callgrind_annotate --inclusive=no --threshold=100 "$1" |
        awk '/^ *[0-9,]+ \([ 0-9.]+%\)  / && !/PROGRAM TOTALS/ {
            ir = $1; gsub(",", "", ir)
            name = $0; sub(/^ *[0-9,]+ \([ 0-9.]+%\)  /, "", name)
            sub(/ \[[^]]*\]$/, "", name); sub(/^[^:]*:/, "", name)
            if (ir > 0) printf "%s\t%s\n", name, ir }'
}
per_call() { awk -v a="$1" -v n="$calls" 'BEGIN { x = a / n; printf (x == int(x) ? "%d" : "%.1f"), x }'; }

declare -A label=([MouseMove]="WM_MOUSEMOVE (0x200), not acted on" [IgnoredKeyDown]="WM_KEYDOWN 'A' (0x41), ignored key")
report=()
details=()
status=0
# Runs the benchmark of path $1 under callgrind into file $2, collecting inside KeyHook
# only; the remaining arguments go to valgrind.
run() {
    local path=$1 file=$2
    shift 2
    if ! ORV_BENCH_ITERATIONS="$calls" valgrind --tool=callgrind --callgrind-out-file="$file" \
        "--toggle-collect=$hook" "$@" "$bin" --benchmark_filter="^BM_KeyHook_$path/" \
        >"$file.log" 2>&1 || ! grep -q "iterations:$calls " "$file.log"; then
        cat "$file.log" >&2
        exit 1
    fi
}

for path in MouseMove IgnoredKeyDown; do
    echo "== callgrind: BM_KeyHook_$path, $calls calls"
    # Collected inside KeyHook; then again with collection off inside CallNextHook.
    run "$path" "$out/$path.inclusive.out"
    run "$path" "$out/$path.own.out" "--toggle-collect=$next"

    inclusive=$(total "$out/$path.inclusive.out")
    own=$(total "$out/$path.own.out")
    hook_calls=$(entered "$out/$path.inclusive.out" "$hook")
    next_calls=$(entered "$out/$path.inclusive.out" "$next")
    if [ "$hook_calls" != "$calls" ] || [ "$next_calls" != "$calls" ]; then
        echo "hook_instructions: $path: $hook_calls hook calls and $next_calls next-hook calls, expected $calls" >&2
        exit 1
    fi
    report+=("$(printf '%-38s %10s %14s %14s' "${label[$path]}" "$(per_call "$inclusive")" \
        "$(per_call "$own")" "$(per_call $((inclusive - own)))")")

    list=$(functions "$out/$path.own.out")
    ran=$(printf '%s\n' "$list" | awk -F'\t' -v n="$calls" '{ printf "%s%s %g", (NR > 1 ? ", " : ""), $1, $2 / n }')
    allocs=$(printf '%s\n' "$list" | cut -f1 | grep -E 'malloc|calloc|realloc|operator new|^_Zn[wa]|AllocZeroed' | paste -sd, - || true)
    platform=$(printf '%s\n' "$list" | cut -f1 | grep -E '^(platform|sim)::' | paste -sd, - || true)
    others=$(printf '%s\n' "$list" | cut -f1 | grep -E '^(platform|sim)::' |
        grep -vE '^platform::ReadHookMessage\(' | paste -sd, - || true)
    details+=("${label[$path]}:"
        "  functions run, instructions per call: $ran"
        "  allocation: ${allocs:-none}"
        "  platform functions besides the next hook: ${platform:-none}")
    [ -z "$allocs" ] && [ -z "$others" ] || status=1
done

echo
echo "KeyHook: instructions per call (callgrind, $calls calls per path, Release build)"
printf '%-38s %10s %14s %14s\n' "path" "inclusive" "w/o next hook" "next hook"
printf '%s\n' "${report[@]}"
echo
printf '%s\n' "${details[@]}"
echo
echo "Target: a few dozen instructions without the next hook, no allocation, no platform"
echo "call but CallNextHookEx. $([ "$status" = 0 ] && echo "No allocation, no other platform call." ||
    echo "NOT MET: an allocation or another platform call, see above.")"
echo
echo "\"w/o next hook\" is the hook's own cost: the real back-end's CallNextHookEx is the"
echo "system's; \"next hook\" is the simulated platform's stand-in (a counter and the call-log switch)."
echo "platform::ReadHookMessage copies the message the hook's lParam points to; on Windows"
echo "it reads the MSG and makes no system call."
exit "$status"
