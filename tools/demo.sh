#!/usr/bin/env bash
# The main job: builds the plug-in and the simulated CAD application and runs the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" default -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec /usr/bin/python3 "$root/tools/demo.py" --build "$root/build/default"
