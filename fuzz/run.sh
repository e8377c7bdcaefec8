#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds
# (default 60), two at a time, with corpora seeded from tests/data/decoders
# (tests/data/clips for the clip reader) and tests/data/fuzz-regressions.
# Usage: fuzz/run.sh [seconds] [target...]
#   targets: bmp icon gif pcx jpeg png webp heif avif jxl picture exif profile clip messages
# Findings land in build/fuzz/run/artifacts/<target>/; a summary with the
# number of executions per target is printed at the end. Keep each fixed
# finding in tests/data/fuzz-regressions/ (make-test-data.py rewrites
# tests/data/decoders/ whole) with a test that decodes it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(bmp icon gif pcx jpeg png webp heif avif jxl picture exif profile clip messages)

# clang and its sanitizer runtimes are needed only here.
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

work=build/fuzz/run
data=tests/data/decoders
seed() { # target, then file patterns
  local t=$1; shift
  mkdir -p "$work/corpus/$t" "$work/artifacts/$t"
  for pattern in "$@"; do
    for f in $data/$pattern tests/data/fuzz-regressions/$pattern; do
      # Files longer than -max_len would only be cut short.
      [ -e "$f" ] && [ "$(stat -c %s "$f")" -le 200000 ] && cp -n "$f" "$work/corpus/$t/"
    done
  done
  return 0
}
seed bmp '*.bmp'
seed icon '*.ico' '*.cur'
seed gif '*.gif'
seed pcx '*.pcx'
seed jpeg '*.jpg'
seed png '*.png'
seed webp '*.webp'
seed heif '*.heic'
seed avif '*.avif'
seed jxl '*.jxl'
cp -n assets/templates/*.jpg "$work/corpus/jpeg/" 2>/dev/null || true
mkdir -p "$work/corpus/clip" "$work/artifacts/clip"
# Clips of every codec, turned, with sound and cut, and the clip findings
# kept; not the clip of 82 MB frames, which only the memory test needs and
# which takes seconds a run.
for f in tests/data/clips/* tests/data/fuzz-regressions/clip_*; do
  case $f in
    *_82mb.*) ;;
    *) cp -n "$f" "$work/corpus/clip/" ;;
  esac
done
seed exif '*.exif'
seed profile '*.icc'
seed messages # no seeds: the messages are small
seed picture '*.bmp' '*.ico' '*.cur' '*.gif' '*.pcx' '*.jpg' '*.png' '*.webp' '*.heic' '*.avif' '*.jxl' '*.bin' \
  '*.tif'

# FUZZ_KEEP_GOING=1 runs each target in a child process that is restarted
# after a timeout, so a busy machine's stalls are recorded (run each
# timeout-* file again alone to tell a stall from a slow input) without
# ending the run; crashes and running out of memory still end it.
keep_going=()
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] && keep_going=(-fork=1 -ignore_timeouts=1 -ignore_ooms=0 -ignore_crashes=0)

run() {
  local t=$1
  build/fuzz/fuzz/fuzz_$t "$work/corpus/$t" "${keep_going[@]}" -max_total_time="$seconds" -max_len=200000 \
    -timeout=2 -print_final_stats=1 -artifact_prefix="$work/artifacts/$t/" \
    >"$work/$t.log" 2>&1 && echo "$t: done" || echo "$t: FINDING (see $work/$t.log)"
}

# Two at a time by default (the machine has two cores); FUZZ_JOBS=1 for one.
pids=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge "${FUZZ_JOBS:-2}" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
wait

status=0
for t in "${targets[@]}"; do
  # A run in child processes reports its count on its progress lines.
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t.log" | grep -o '[0-9]*$' ||
    grep -oE '^#[0-9]+' "$work/$t.log" | tail -1 | tr -d '#' || echo "?")
  findings=$(find "$work/artifacts/$t" -type f | wc -l)
  echo "fuzz_$t: ${execs} executions in ${seconds} s, ${findings} finding(s)"
  [ "$findings" -eq 0 ] || status=1
done
exit $status
