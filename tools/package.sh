#!/usr/bin/env bash
# Builds the Debian package of the programs and the engine:
#   tools/package.sh [OUT-FOLDER]     (default: the build folder)
# and prints the package's path. Install it with: sudo apt install ./orvex_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build}")
tools/install-deps.sh
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target capmill capmill_cli OrvexLite capmill_manual orvex_changelog >/dev/null
mkdir -p "$out"
(cd build && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/orvex_*.deb
