#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs the kcm demo host's tour of the library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKCM_BUILD_TESTS=OFF
exec build/bin/kcm "$@"
