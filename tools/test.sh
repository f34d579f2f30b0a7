#!/usr/bin/env bash
# Runs every test: the plain build, clang with LLVM's libc++ (the product's compiler and library),
# AddressSanitizer + UBSan, ThreadSanitizer, and the fuzz targets for a bounded time. Installs what
# it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
jobs=$(nproc)
run() {
  local name=$1; shift
  echo "== [$name] build"
  bash "$root/tools/build.sh" "$name" "$@"
  echo "== [$name] test"
  (cd "$root/build/$name" && ctest --output-on-failure -j"$jobs" --timeout 600)
}
run default -DCMAKE_BUILD_TYPE=RelWithDebInfo
CC=clang CXX=clang++ run libcxx -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_LIBCXX=ON -DORVIK_BENCH=OFF
run asan -DCMAKE_BUILD_TYPE=Debug -DORVIK_SANITIZE=address -DORVIK_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_SANITIZE=thread -DORVIK_BENCH=OFF
CC=clang CXX=clang++ run fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_FUZZ=ON -DORVIK_BENCH=OFF
echo "== all configurations passed"
