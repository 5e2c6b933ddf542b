#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/, replays every corpus once,
# then fuzzes each target for SECONDS seconds, one after another.
#
#   scripts/fuzz.sh SECONDS [TARGET...]     (targets: the names in fuzz/targets/)
#
# New inputs go to build-fuzz/work/<target>/ (the seeds in fuzz/corpus/ are
# only read); a crash, leak or time-out leaves its input in
# build-fuzz/findings/<target>/ and makes the script exit non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
if (($#)); then
  targets=("$@")
else
  targets=()
  for source in fuzz/targets/*.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

# The compiler is chosen when the build folder is made; later runs keep it.
if [[ ! -f build-fuzz/CMakeCache.txt ]]; then
  CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake -S fuzz -B build-fuzz >/dev/null
cmake --build build-fuzz -j2
ctest --test-dir build-fuzz --output-on-failure

failed=()
for target in "${targets[@]}"; do
  work=build-fuzz/work/$target
  findings=build-fuzz/findings/$target
  mkdir -p "$work" "$findings"
  echo "== fuzz_$target for ${seconds}s"
  if ! build-fuzz/fuzz_"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" \
      >build-fuzz/"$target".log 2>&1; then
    failed+=("$target")
    tail -n 60 build-fuzz/"$target".log
  fi
  grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' build-fuzz/"$target".log || true
done

if ((${#failed[@]})); then
  echo "Findings in: ${failed[*]} (inputs under build-fuzz/findings/)" >&2
  exit 1
fi
