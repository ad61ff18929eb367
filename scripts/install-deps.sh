#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tallimoor need.
# Idempotent: packages already present are left alone, and the package lists
# are refreshed at most once per run, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt Charts' CMake package needs Qt OpenGL's, which Debian 12 does not
  # pull in with qt6-charts-dev. Qt's own translations give French users the
  # toolkit's buttons and dialogs in French.
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev fonts-dejavu-core qt6-translations-l10n
  pxlib-dev libsqlite3-dev
  # pdftotext reads back the PDFs the report tests render.
  # Liberation Sans stands in for Arial, the font of the desktop's lists and
  # shortcuts.
  xvfb xauth poppler-utils fonts-liberation2
  # The tests that play several machines on one network share mount views
  # of a folder through FUSE (the share-mounts tool builds against libfuse3).
  fuse3 libfuse3-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    exec sudo -n "$0" "$@"
  fi
  echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
