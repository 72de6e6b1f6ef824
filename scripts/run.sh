#!/usr/bin/env bash
# Installs what is missing, builds and starts Ondix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh
exec build/ondix "$@"
