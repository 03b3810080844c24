# Shared by the project's commands: installs what the build needs, builds,
# and runs a throwaway Wine prefix. Source it; it changes to the project root.
set -euo pipefail
KESTRANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$KESTRANE_ROOT"
BUILD_DIR=${BUILD_DIR:-$KESTRANE_ROOT/build}

# need_packages, start_prefix, stop_prefix and windows_path: the check's Linux runner ships
# alone in the release zip, so it holds them, and the project's commands take them from it.
source "$KESTRANE_ROOT/tools/check-installer-linux.sh"

install_build_packages() {
    need_packages cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest \
        nsis wixl osslsigncode openssl zip
}

build_all() {
    cmake -S "$KESTRANE_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$KESTRANE_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}
