#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a while:
#   tests/safety/fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
# Seeds: the real boards, whole and in 2 KiB pieces (short inputs mutate faster), some
# with CR LF. Corpus and crash inputs go to BUILD_DIR/fuzz/; a crash input replays with
# BUILD_DIR/tests/safety/fuzz/fuzz_TARGET FILE.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR [SECONDS] [TARGET...]}" && pwd)
seconds=${2:-60}
shift $(($# > 1 ? 2 : 1))
work="$build/fuzz" && seeds="$build/fuzz/seeds"
mkdir -p "$seeds" "$work/artifacts"
for board in "$root"/tests/data/boards/*/*.kicad_pcb; do
  piece="$seeds/$(basename "$board")" && cp "$board" "$seeds/"
  split -b 2048 -a 4 "$board" "$piece-" && sed 's/$/\r/' "$piece-aaaa" >"$piece-crlf"
done
# The markers and byte sequences the reader and the collection treat specially.
printf '"%s"\n' '\x0d\x0a' '\x0d' '\x0a' '\x00' '\xef\xbb\xbf' '\xc3\xa4' '\xf0\x9f\x98\x80' \
  '\xed\xa0\x80' '(drill ' '(via ' '(via' '(offset ' 'oval ' '(pad ' '(footprint ' '(locked yes)' \
  '(property \"Reference\" ' ')' '\\\"' '\"' >"$work/board.dict"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
[ -d /dev/shm ] && export TMPDIR=/dev/shm # a file per input
for t in ${@:-line_reader round_trip engine}; do
  mkdir -p "$work/corpus/$t" && echo "--- fuzz_$t for ${seconds}s"
  "$build/tests/safety/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-65536}" \
    -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 -dict="$work/board.dict" \
    -artifact_prefix="$work/artifacts/$t-" "$work/corpus/$t" "$seeds" 2>"$work/$t.log" || {
    tail -n 60 "$work/$t.log" >&2 && echo "fuzz_$t failed; the input is in $work/artifacts/" >&2
    exit 1
  }
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$t.log" || true
done
