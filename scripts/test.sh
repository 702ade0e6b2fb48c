#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, integration, page, screen), then
# the same tests under the sanitizers and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of every
# fuzz target.
cd "$OLDPWD"
bash scripts/sanitize.sh
bash scripts/fuzz-smoke.sh
