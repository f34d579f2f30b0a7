#!/usr/bin/env bash
# Configures and builds one configuration: build.sh NAME [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1; shift
dir="$root/build/$name"
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
