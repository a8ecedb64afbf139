#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# The tests start their own virtual desktop, PulseAudio server and nginx.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# The recording tests measure frame rates: run them one at a time.
ctest --test-dir build --output-on-failure
