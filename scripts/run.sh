#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window with the paths given.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build" -DVARNELT_BUILD_TESTS=OFF
exec "$here/build/bin/varnelt" "$@"
