#!/usr/bin/env bash
# Starts the program from a build folder (the simulated modem joins once it exists).
set -euo pipefail
build=${1:-build}
exec "$build/bin/kestrovane"
