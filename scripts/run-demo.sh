#!/usr/bin/env bash
# Sets up the machine, builds, installs under a local prefix and starts the
# desktop program on a demonstration data root.
#
#   bash scripts/run-demo.sh            # prefix ./demo
#   TALLIMOOR_PREFIX=/opt/tm bash scripts/run-demo.sh
#
# The prefix gets Tallimoor/bin (the program, its libraries, modules and
# pictures), Tallimoor/languages (the translation tables) and Tallimoor/data
# (the demonstration data root, made once with `tallimoor-admin demo`), and a
# settings file Tallimoor/norvadel.ini that points the program at them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
prefix=$(realpath -m "${TALLIMOOR_PREFIX:-demo}")
cmake --install build/default --prefix "$prefix" > /dev/null

bin="$prefix/Tallimoor/bin"
data="$prefix/Tallimoor/data"
settings="$prefix/Tallimoor/norvadel.ini"
if [ ! -e "$data" ]; then
  "$bin/tallimoor-admin" demo "$data"
else
  echo "Using the data root already in $data (remove it for fresh demonstration data)."
fi
if [ ! -e "$settings" ]; then
  printf '[Tallimoor]\npgmdrive=%s\ndatadrive=%s\nlanguage=1\n' "$prefix" "$prefix" > "$settings"
fi
export NORVADEL_SETTINGS="$settings"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<HINT
No display is available. Run the program under a virtual display:

  cd "$bin" && NORVADEL_SETTINGS="$settings" xvfb-run -a ./deskshell

or, to see it, from a desktop session:

  cd "$bin" && NORVADEL_SETTINGS="$settings" ./deskshell
HINT
  exit 0
fi
cd "$bin"
exec ./deskshell
