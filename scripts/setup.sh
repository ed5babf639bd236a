#!/usr/bin/env bash
# Sets up a Debian 12 machine for Trovex: installs the build's packages when missing, configures
# and builds in build/ (binaries in build/bin/). Idempotent; a second run only rebuilds what changed.
#   scripts/setup.sh            set up and build
#   scripts/setup.sh --start    ... then start the window (or say why it cannot, and point to trovex-cli)
#   scripts/setup.sh --test     ... then run every test: the normal, sanitizer, fuzzing and Windows builds;
#                               the normal and Windows tests also make and check the packages
#                               (build/packages/, build-windows/packages/)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake pkg-config git
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libicu-dev zlib1g-dev libssl-dev libdeflate-dev
    clang libclang-rt-14-dev
    qt6-base-dev qt6-qpa-plugins libgl-dev xvfb xauth openbox adwaita-icon-theme shared-mime-info desktop-file-utils
    xdg-utils time poppler-utils tzdata zip unzip locales
    lintian librsvg2-bin appstream man-db nsis
    g++-mingw-w64-x86-64-posix mingw-w64 libz-mingw-w64-dev wine wine64
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The code-page tests run again under Russian and German desktops; wine needs those locales to
# name files in them.
for l in ru_RU de_DE; do
    locale -a 2>/dev/null | grep -qix "$l.utf8" || $SUDO localedef -i "$l" -f UTF-8 "$l.UTF-8"
done

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"

case "${1:-}" in
--start)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display here: the window needs a desktop. Use build/bin/trovex-cli --help instead."
        exec build/bin/trovex-cli --help
    fi
    exec build/bin/trovex
    ;;
--test)
    ctest --preset default
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    ctest --preset asan
    # The engine's threads under ThreadSanitizer: only the engine's and trovex-cli's tests, to keep
    # the run short.
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$jobs"
    ctest --preset tsan
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs"
    ctest --preset fuzz
    # The engine and trovex-cli as Windows programs, their tests under wine (no display needed).
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$jobs"
    ctest --preset windows
    ;;
"") ;;
*)
    echo "usage: $0 [--start|--test]" >&2
    exit 2
    ;;
esac
