#!/usr/bin/env bash
# Builds everything: the native packer, the x86_64 build and the i686 build
# (the shipped installer), both with their tests; they run here under wine64
# and 32-bit Wine.
# Usage: scripts/build.sh [build-root]   (default: ./build)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${1:-$ROOT/build}"
JOBS="${QUILL_JOBS:-$(nproc)}"

"$ROOT/scripts/bootstrap.sh"

cmake -S "$ROOT/tools/packer" -B "$OUT/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUILL_DEPS="$ROOT/third_party/build" >/dev/null
cmake --build "$OUT/native" -j "$JOBS"

configure() { # arch, tests
  cmake -S "$ROOT" -B "$OUT/$1" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$1-w64-mingw32.cmake" \
    -DQUILL_PACKER="$OUT/native/quillpack" -DQUILL_TESTS="$2" >/dev/null
}
configure x86_64 ON
cmake --build "$OUT/x86_64" -j "$JOBS"
configure i686 ON
cmake --build "$OUT/i686" -j "$JOBS"
