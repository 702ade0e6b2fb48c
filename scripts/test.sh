#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, integration, page tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
# The same tests under the sanitizers and a short run of every fuzz target come after the normal
# tests once the sanitized run is clean here as well: set VELMARIS_HARDENING=1 to run them now.
if [ "${VELMARIS_HARDENING:-0}" = 1 ]; then
  cd "$OLDPWD" && bash scripts/sanitize.sh && bash scripts/fuzz-smoke.sh
fi
