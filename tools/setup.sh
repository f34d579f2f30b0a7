#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, from Debian's packages, when missing.
# fonts-wqy-microhei gives the simulated plot Chinese glyphs, so a plotted sheet reads as it should;
# python3-matplotlib lets ezdxf's drawing add-on render the layouts the plot tests compare pages with.
set -euo pipefail
need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++ cmake ninja-build clang libclang-rt-dev libc++-dev libc++abi-dev googletest \
         libgtest-dev libgmock-dev libbenchmark-dev libboost-dev python3 python3-websockets python3-ezdxf \
         python3-matplotlib python3-numpy python3-pytest python3-jsonschema libcairo2-dev poppler-utils \
         pkg-config locales \
         fonts-wqy-microhei; do
  have_pkg "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "== installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# The plot tests format numbers under a decimal-comma locale and compare names under a single-byte
# one, as a host process may run in either.
have_locale() { locale -a 2>/dev/null | grep -qix "$1"; }
have_locale de_DE.utf8 || localedef -i de_DE -f UTF-8 de_DE.UTF-8
have_locale ru_RU.koi8r || localedef -i ru_RU -f KOI8-R ru_RU.KOI8-R
