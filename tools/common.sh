# Shared by the project's commands: installs what the build needs, builds,
# and runs a throwaway Wine prefix. Source it; it changes to the project root.
set -euo pipefail
KESTRANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$KESTRANE_ROOT"
BUILD_DIR=${BUILD_DIR:-$KESTRANE_ROOT/build}

need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_build_packages() {
    need_packages cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest \
        nsis osslsigncode openssl zip
}

build_all() {
    cmake -S "$KESTRANE_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$KESTRANE_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

# Starts a fresh prefix in $1 with the null display driver, so message boxes
# are real windows that our driver can answer without a screen.
start_prefix() {
    local dir=$1 driver=${2:-null}
    rm -rf "$dir"
    mkdir -p "$dir/home"
    export WINEPREFIX="$dir/prefix" HOME="$dir/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i </dev/null >/dev/null 2>&1
    if [ "$driver" = null ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    else
        # Debian's Wine does not find its own fonts: without Marlett the close
        # button of every box shows a letter "r".
        need_packages fonts-wine
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    wineserver -k 2>/dev/null || true
    # Wine's background services must not inherit a test's output pipe.
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    trap stop_prefix EXIT
}

stop_prefix() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}

# Z:\ path of a Unix path, as Windows programs under Wine see it.
windows_path() {
    printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
}
