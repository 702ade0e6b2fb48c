#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz (or $FUZZ_BUILD_DIR) and runs each over its
# committed corpus, then on new inputs for $FUZZ_SECONDS (20) seconds: every regression case must
# still pass and nothing new may turn up quickly. The committed corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-20}
cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMARIS_FUZZ=ON -DVELMARIS_WERROR=ON -DVELMARIS_TESTS=OFF -DVELMARIS_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target fuzzers
# The targets are named once, in fuzz/CMakeLists.txt, which lists them for this run.
mapfile -t targets <"$build_dir/fuzz/targets.txt"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  log="$scratch/$target.log"
  # New inputs go to the scratch folder (listed first); findings are written beside them.
  if "$build_dir/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$scratch/$target-" "$scratch/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "fuzz $target: $(grep -Eo 'DONE .*' "$log" | sed 's/  */ /g')"
  else
    echo "fuzz $target: FAILED" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done
exit $failed
