#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a while.
#
#   tests/safety/fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
#
# Seeds: the real boards under tests/data/boards, whole and cut into 2 KiB pieces
# (short inputs mutate faster), the pieces once more with CR LF line ends, and a
# dictionary of the markers and byte sequences the reader treats specially. Inputs
# grow to FUZZ_MAX_LEN bytes (64 KiB). Corpus, seeds and any crash input go to
# BUILD_DIR/fuzz/, never into the repository. A crash or sanitizer report makes the
# script fail; the input that caused it is in BUILD_DIR/fuzz/artifacts/ and replays
# with BUILD_DIR/tests/safety/fuzz/fuzz_TARGET FILE.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR [SECONDS] [TARGET...]}" && pwd)
seconds=${2:-60}
shift $(($# > 1 ? 2 : 1))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(line_reader collect round_trip); fi

work="$build/fuzz"
seeds="$work/seeds"
mkdir -p "$seeds" "$work/artifacts"
n=0
while IFS= read -r -d '' board; do
  n=$((n + 1))
  cp "$board" "$seeds/board-$n"
  split -b 2048 -a 4 "$board" "$seeds/piece-$n-"
done < <(find "$root/tests/data/boards" -name '*.kicad_pcb' -print0 | sort -z)
for piece in "$seeds"/piece-*-aaa?; do
  sed 's/$/\r/' "$piece" >"$piece-crlf"
done
dict="$work/board.dict"
cat >"$dict" <<'DICT'
"\x0d\x0a"
"\x0d"
"\x0a"
"\x00"
"\xef\xbb\xbf"
"\xc3\xa4"
"\xf0\x9f\x98\x80"
"\xed\xa0\x80"
"(drill "
"(via "
"(via"
"(offset "
"oval "
"(pad "
")"
"\\\""
"\""
DICT
if [ "$n" -eq 0 ]; then
  echo "no boards under tests/data/boards to seed from" >&2
  exit 1
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for t in "${targets[@]}"; do
  bin="$build/tests/safety/fuzz/fuzz_$t"
  corpus="$work/corpus/$t"
  mkdir -p "$corpus"
  echo "--- fuzz_$t for ${seconds}s (seeds: $n boards and their pieces)"
  "$bin" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-65536}" -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 -dict="$dict" \
    -artifact_prefix="$work/artifacts/$t-" "$corpus" "$seeds" 2>"$work/$t.log" || {
    tail -n 60 "$work/$t.log" >&2
    echo "fuzz_$t failed; the input is in $work/artifacts/" >&2
    exit 1
  }
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$t.log" || true
done
