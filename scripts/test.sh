#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, integration, page tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
