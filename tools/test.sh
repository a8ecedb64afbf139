#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the plain build, then the recording tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the concurrency tests under ThreadSanitizer.
# The tests start their own virtual desktop, PulseAudio server, nginx and tray host.
set -euo pipefail
cd "$(dirname "$0")/.."
phase() { echo "== $(date +%T) $*"; }
phase "dependencies"
tools/install-deps.sh
jobs=$(nproc)
# Ninja schedules the build better than make on two cores; a build folder made
# earlier keeps the generator it was made with.
export CMAKE_GENERATOR=Ninja
# Line tables are all a failing test's backtrace needs, and build much faster
# than full debug information.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
phase "plain build"
cmake --build build -j"$jobs"
phase "plain tests"
# The recording tests measure frame rates: run them one at a time.
ctest --test-dir build --output-on-failure

# The sanitizer builds leave the application out: the engine is what they check.
sanitized=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_BUILD_APP=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1"
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1")
phase "AddressSanitizer and UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan "${sanitized[@]}" -DORVEX_SANITIZERS=address,undefined >/dev/null
cmake --build build-asan -j"$jobs" --target recording_tests
phase "AddressSanitizer and UndefinedBehaviorSanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L recording --output-on-failure

phase "ThreadSanitizer build"
cmake -S . -B build-tsan "${sanitized[@]}" -DORVEX_SANITIZERS=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target concurrency_tests
phase "ThreadSanitizer tests"
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan.supp" \
  ctest --test-dir build-tsan -L concurrency --output-on-failure
phase "done"
