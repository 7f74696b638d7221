#!/bin/bash
# Builds both architectures and runs every test under Wine: the 64-bit suite
# first (native, fast), then the 32-bit one (emulated on a 64-bit-only host).
set -uo pipefail
cd "$(dirname "$0")"
bash cmake/prerequisites.sh || exit 1

jobs=$(nproc)
for arch in x86_64 i686; do
    mkdir -p build
    cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=Release >"build/configure-$arch.log" 2>&1 || { cat "build/configure-$arch.log"; exit 1; }
    cmake --build "build/$arch" -j"$jobs" || exit 1
done

passed=0
failed=0
for arch in x86_64 i686; do
    echo "== tests, $arch build =="
    log="build/$arch/ctest.log"
    (cd "build/$arch" && ctest --output-on-failure -j"$jobs") 2>&1 | tee "$log"
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
        continue
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done
echo "both builds:"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
