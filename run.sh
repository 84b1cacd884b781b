#!/usr/bin/env bash
# Installs what is missing, builds the viewer, makes the sample base when absent and starts the
# viewer on it. Arguments go to the viewer: ./run.sh --base DIR opens another base.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The viewer, the tool and the sample base in build/data, where the viewer looks first.
cmake --build build --parallel "$(nproc)" --target norik norik-tool sample_base
exec build/norik "$@"
