#!/usr/bin/env bash
# Installs what is missing, checks the sources' formatting, builds, and runs every test (unit,
# integration, page, screen), then the same tests under the sanitizers, a short run of every fuzz
# target, and the Windows DLL cross-built and driven by Windows clients under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
# Style cannot drift: every C++ source stands as clang-format (the file at the root) writes it.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of every
# fuzz target.
cd "$OLDPWD"
bash scripts/sanitize.sh
bash scripts/fuzz-smoke.sh
bash tests/windows/run.sh
