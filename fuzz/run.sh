#!/bin/sh
# run.sh SECONDS: builds the fuzz preset into build-fuzz and fuzzes the BMP decoder for
# SECONDS (default 60), starting from the committed seed corpus (copied, so the checked-in
# seeds stay as they are). Exits non-zero when the fuzzer finds a crash, leak or sanitizer
# report; the reproducer is left in the printed directory. Large declared pictures are cut
# down by the target (see bmp_fuzz.cpp); TALVERN_FUZZ_FULL_SIZE=1 fuzzes them at full size.
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target bmp_fuzz -j2
work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-fuzz-XXXXXX")
mkdir "$work/corpus"
cp fuzz/corpus/* "$work/corpus/"
echo "fuzzing for ${seconds}s; corpus and any crash input in $work"
status=0
"$root/build-fuzz/bin/bmp_fuzz" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=4096 \
  -malloc_limit_mb=2048 -timeout=30 -print_final_stats=1 -artifact_prefix="$work/" \
  "$work/corpus" || status=$?
if [ "$status" -eq 0 ]; then
  rm -rf "$work"
  echo "no findings"
else
  echo "fuzzer finding (exit $status): see $work" >&2
fi
exit "$status"
