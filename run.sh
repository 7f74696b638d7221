#!/bin/bash
# The main job: builds the program, starts it beside the stand-in Task Manager
# on a virtual display (unless DISPLAY is set), clicks the link strip beside a
# process row and prints the address the browser received.
set -euo pipefail
cd "$(dirname "$0")"
bash cmake/prerequisites.sh
mkdir -p build
if ! { cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DCMAKE_BUILD_TYPE=Release &&
      cmake --build build/i686 -j"$(nproc)"; } >build/run-build.log 2>&1; then
    cat build/run-build.log
    exit 1
fi
exec bash tests/demo/run_demo.sh build/i686
