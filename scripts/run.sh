#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
tidwen_install_packages

cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTIDWEN_TESTS=OFF -DTIDWEN_BENCH=OFF >/dev/null
cmake --build build/app --target tidwen -j "$(tidwen_jobs)"
exec build/app/src/app/tidwen "$@"
