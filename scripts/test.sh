#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds the program twice (a normal build and
# an AddressSanitizer + UndefinedBehaviorSanitizer build) and runs every test on both.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
JOBS=${JOBS:-$(nproc)}
# A compiler cache, where one is installed, keeps rebuilds of an existing checkout short.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
export QT_QPA_PLATFORM=offscreen

echo "== format check"
mapfile -t sources < <(git ls-files -- 'app/*.cpp' 'app/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 2>/dev/null || true)
if [ ${#sources[@]} -gt 0 ]; then
    clang-format --dry-run --Werror "${sources[@]}"
fi

status=0

# CMake's Ninja generator does not rerun moc for a target when a new Q_OBJECT header joins it in
# an existing build folder; dropping the autogen stamps makes every target check its sources again
# (moc output that did not change is left as it is).
refresh_autogen() {
    if [ -d "$1" ]; then
        find "$1" -path '*_autogen/timestamp' -delete
    fi
}

echo "== normal build"
# The benchmark programs are for measuring a change by hand (configure with
# -DAPP_BUILD_BENCH=ON); the test run builds only what it runs.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DAPP_BUILD_BENCH=OFF "${LAUNCHER[@]}"
refresh_autogen build
cmake --build build -j "$JOBS"
(cd build && ctest --output-on-failure -j "$JOBS") || status=1

echo "== sanitizer build"
# -O1 with line tables: the sanitizers' usual level, with file and line in every report, for about
# four fifths of the compile time of -O2 with full debug information.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPP_SANITIZE=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
    -DAPP_BUILD_BENCH=OFF "${LAUNCHER[@]}"
refresh_autogen build-asan
cmake --build build-asan -j "$JOBS"
(cd build-asan && ctest --output-on-failure -j "$JOBS") || status=1

if [ -d fuzz ] && command -v clang++ >/dev/null 2>&1; then
    echo "== fuzz targets (corpus replay)"
    CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DAPP_BUILD_FUZZ=ON -DAPP_BUILD_BENCH=OFF "${LAUNCHER[@]}"
    refresh_autogen build-fuzz
    cmake --build build-fuzz -j "$JOBS"
    (cd build-fuzz && ctest --output-on-failure -L fuzz -j "$JOBS") || status=1
fi

if [ "$status" -ne 0 ]; then
    echo "FAILED"
fi
exit "$status"
