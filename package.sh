#!/bin/bash
# Builds both architectures in Release and writes the release packages to dist/:
# the setup program and the portable zip (installer/make_packages.sh).
set -euo pipefail
cd "$(dirname "$0")"
bash cmake/prerequisites.sh

jobs=$(nproc)
mkdir -p build
for arch in i686 x86_64; do
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=Release >"build/configure-$arch.log" 2>&1 || { cat "build/configure-$arch.log"; exit 1; }
    # Only the shipped programs: the tests are test.sh's business.
    cmake --build "build/$arch" -j"$jobs" --target Tavrowen2 Tavrowen2Admin
done

# The project version in CMakeLists.txt is the one place it is written.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/x86_64/CMakeCache.txt)
[ -n "$version" ] || { echo "no project version in build/x86_64/CMakeCache.txt" >&2; exit 1; }
bash installer/make_packages.sh "$version" build/i686/bin build/x86_64/bin dist build/x86_64/CMakeCache.txt
