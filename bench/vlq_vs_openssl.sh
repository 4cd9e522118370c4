#!/usr/bin/env bash
# vlq against openssl on the same text, side by side in one run: wall time
# (median and best of several runs, the programs taking turns so a busy
# machine slows all alike) and peak memory (the largest resident set of
# three runs, from /usr/bin/time). The yardstick is `openssl enc -aes-256-cbc -pbkdf2 -a`
# and its `-d`; vlq should take at most half its time and hold at most twice
# its input.
#
#   bench/vlq_vs_openssl.sh [SIZE_MB] [RUNS]    (defaults: 8 MB, 11 runs)
#   VLQ=path/to/vlq bench/vlq_vs_openssl.sh     (default: build/bin/vlq)
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-8}
runs=${2:-11}
vlq=${VLQ:-build/bin/vlq}
[ -x "$vlq" ] || { echo "no vlq at $vlq (cmake --build build --target vlq)" >&2; exit 1; }
command -v openssl >/dev/null || { echo "openssl is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package time)" >&2; exit 1; }

# In memory where there is a tmpfs: writing the outputs to a disk others keep
# busy times its write-back, not the programs.
work=$(mktemp -d -p "$( [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT

# A letter of LF lines, 40 to 90 characters of words, the same every run.
awk -v bytes=$((size_mb * 1024 * 1024)) 'BEGIN {
    split("the quick brown fox jumps over a lazy dog while seven {odd} [words] & numbers 1234 wait", w, " ")
    seed = 20261208; total = 0
    while (total < bytes) {
        line = ""; len = 40 + (seed % 51)
        while (length(line) < len) {
            seed = (seed * 1103515245 + 12345) % 2147483648
            line = line (line == "" ? "" : " ") w[1 + int(seed / 65536) % 17]
        }
        print line; total += length(line) + 1
    }
}' > "$work/plain.txt"
printf 'correct horse battery staple\n' > "$work/pw"
input=$(stat -c %s "$work/plain.txt")

"$vlq" encrypt --level 3 --password-file "$work/pw" < "$work/plain.txt" > "$work/block.txt"
openssl enc -aes-256-cbc -pbkdf2 -a -pass file:"$work/pw" < "$work/plain.txt" > "$work/openssl.txt"
"$vlq" decrypt --password-file "$work/pw" < "$work/block.txt" | cmp -s - "$work/plain.txt" \
    || { echo "vlq did not give the text back" >&2; exit 1; }

names=(vlq_encrypt openssl_encrypt vlq_decrypt openssl_decrypt)
inputs=(plain.txt plain.txt block.txt openssl.txt)
commands=(
    "$vlq encrypt --level 3 --password-file $work/pw"
    "openssl enc -aes-256-cbc -pbkdf2 -a -pass file:$work/pw"
    "$vlq decrypt --password-file $work/pw"
    "openssl enc -d -aes-256-cbc -pbkdf2 -a -pass file:$work/pw"
)

# Wall time in microseconds: bash starts the command itself, so nothing else
# is timed but a fork. Peak memory comes from runs of its own under
# /usr/bin/time, whose start-up would otherwise weigh on the shorter command.
timed() { # index
    local i=$1 start end
    start=${EPOCHREALTIME/./}
    # shellcheck disable=SC2086 # the command line is split on purpose
    ${commands[$i]} < "$work/${inputs[$i]}" > "$work/out"
    end=${EPOCHREALTIME/./}
    echo "$((end - start))" >> "$work/${names[$i]}.time"
}
measured() { # index
    local i=$1
    # shellcheck disable=SC2086
    /usr/bin/time -f %M -o "$work/rss" ${commands[$i]} < "$work/${inputs[$i]}" > "$work/out"
    tail -n 1 "$work/rss" >> "$work/${names[$i]}.rss"
}

for ((r = 0; r < runs; ++r)); do
    for i in "${!names[@]}"; do timed "$i"; done
done
for ((r = 0; r < 3; ++r)); do
    for i in "${!names[@]}"; do measured "$i"; done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A med best rss
for name in "${names[@]}"; do
    med[$name]=$(median < "$work/$name.time")
    best[$name]=$(sort -n "$work/$name.time" | head -n 1)
    rss[$name]=$(sort -n "$work/$name.rss" | tail -n 1)
done

printf '%s bytes of text, %s runs each, %s\n' "$input" "$runs" "$(nproc) cores"
printf '%-16s %10s %10s %12s %10s\n' command "median ms" "best ms" "peak RSS KB" "x input"
for name in "${names[@]}"; do
    awk -v n="$name" -v m="${med[$name]}" -v b="${best[$name]}" -v k="${rss[$name]}" -v size="$input" \
        'BEGIN { printf "%-16s %10.1f %10.1f %12d %10.2f\n", n, m / 1000, b / 1000, k, k * 1024 / size }'
done
verdict=0
for op in encrypt decrypt; do
    awk -v op="$op" -v v="${med[vlq_$op]}" -v o="${med[openssl_$op]}" -v k="${rss[vlq_$op]}" -v size="$input" \
        'BEGIN {
            ok = v <= o / 2 && k * 1024 <= 2 * size
            printf "%s: vlq takes %.2f x openssl'"'"'s time, holds %.2f x its input: %s\n",
                op, v / o, k * 1024 / size, ok ? "within target" : "OFF TARGET"
            exit !ok
        }' || verdict=1
done
exit $verdict
