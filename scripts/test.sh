#!/usr/bin/env bash
# Builds everything and runs every test: the default and the sanitizer build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

for preset in default asan; do
  echo "=== preset $preset ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

# The Debian package as a user gets it: built, installed with apt-get (as root, or
# through sudo), used, purged, and nothing of it left behind.
echo "=== package (.deb) ==="
rm -f build/default/rezurudev_*.deb
cmake --build --preset default --target package
tests/package/package_test.sh deb build/default/rezurudev_*.deb

# The Windows programs, cross-built with mingw-w64; their tests run under Wine.
echo "=== preset mingw ==="
cmake --preset mingw
cmake --build --preset mingw -j "$jobs"
ctest --preset mingw -j "$jobs"
# The Windows download: the .zip and what it holds.
rm -f build/mingw/rezurudev-*-win64.zip
cmake --build --preset mingw --target package
tests/package/package_test.sh zip build/mingw/rezurudev-*-win64.zip

# Fuzzing under AddressSanitizer and UndefinedBehaviorSanitizer: each libFuzzer target
# for about a minute, seeded with the real boards (FUZZ_SECONDS changes the time;
# tests/safety/fuzz/run.sh runs them longer).
echo "=== preset fuzz ==="
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
tests/safety/fuzz/run.sh build/fuzz "${FUZZ_SECONDS:-60}"
