#!/usr/bin/env bash
# Installs what is missing, builds, makes the sample base when absent and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"
if [ -x build/norik-tool ] && [ ! -f build/data/Norik.sdb ]; then
  echo "Making the sample base in build/data ..."
  build/norik-tool sample build/data
fi
if [ -x build/norik ]; then
  exec build/norik "$@"
fi
echo "Built:"
for f in build/norik-tool build/test_*; do [ -x "$f" ] && echo "  $f"; done
[ -f build/data/Norik.sdb ] && echo "Sample base: build/data (try: build/norik-tool --base build/data info)"
exit 0
