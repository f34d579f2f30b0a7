#!/bin/bash
# Compiles every plug-in source, syntax only, against a copy of the host SDK's own headers, so that
# a call shape the simulated surface lets through but the SDK does not is caught before a Mac
# build. The SDK's headers are not part of this repository; pass their folder.
#
#   tools/check_host_sdk.sh SDK_INC_DIR [SHIM_DIR]
#
# SHIM_DIR holds what the headers expect from the platform's system headers (Windows or macOS
# types and a few case-differing include names): a header orvik_platform_shim.h, force-included,
# and any header files the SDK names that the platform would supply. Needs clang++.
set -u
inc=${1:?usage: $0 SDK_INC_DIR [SHIM_DIR]}
shim=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
flags=(-std=c++17 -fsyntax-only -DORVIK_USE_HOST_SDK -D_WIN64 -D_AC64 -Wall -Wextra -Werror)
[ -n "$shim" ] && flags+=(-include orvik_platform_shim.h -isystem "$shim")
flags+=(-isystem "$inc" -I "$root")
cd "$root" || exit 2
failed=0
total=0
for f in host/*.cpp host/*.cc plugin/*.cpp link/*.cpp pipeline/*.cpp layouts/*.cpp frames/*.cpp \
         plot/*.cpp bundle/*.cpp bundle/*.cc tests/cadsim/sdk_declarations_test.cpp; do
  [ -f "$f" ] || continue
  total=$((total + 1))
  if ! clang++ "${flags[@]}" "$f"; then
    echo "FAILED: $f"
    failed=$((failed + 1))
  fi
done
echo "$total sources, $failed failed"
[ "$failed" -eq 0 ]
