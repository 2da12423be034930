#!/usr/bin/env bash
# Builds and runs the session reader fuzz target; kept for old habits, see scripts/fuzz.sh.
# Usage: scripts/fuzz_sessionreader.sh [runs] [build dir]   (defaults: 1000000, build-fuzz/ in the project root)
set -euo pipefail

if [[ $# -ge 2 ]]; then
    export BUILD_DIR="$2"
fi
exec "$(dirname "${BASH_SOURCE[0]}")/fuzz.sh" fuzz_sessionreader "${1:-1000000}"
