#!/usr/bin/env bash
# Pictures the twelve message boxes of the real Kestrane.exe as Wine draws them on
# an X display (its own Xvfb and throwaway prefix) into docs/boxes/*.png.
# tools/gallery/GalleryDriver.exe provokes each box, says where it is, waits for
# the picture, checks the box's text, caption, buttons and the exit code, and
# answers it. Here each picture must be steady, not blank, and show the expected
# icon colour. Exits non-zero when any of that fails; docs/boxes is then left as it was.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
need_packages xvfb imagemagick x11-utils fonts-wine
build_all

WORK=$BUILD_DIR/gallery-work
DRIVER=$BUILD_DIR/gallery/GalleryDriver.exe
OUT=$KESTRANE_ROOT/docs/boxes

mkdir -p "$(dirname "$DRIVER")"
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -Werror -static -Itests/e2e -Iharness \
    -o "$DRIVER" tools/gallery/GalleryDriver.cpp harness/BoxDriver.cpp harness/Pending.cpp tests/e2e/Installation.cpp \
    tests/e2e/Messages.cpp -luser32 -lshell32 -ladvapi32 -lole32 -loleaut32 -lpsapi

xvfb_pid=""
cleanup() {
    stop_prefix
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the descriptor.
mkdir -p "$BUILD_DIR"
display_file=$BUILD_DIR/gallery-display
rm -f "$display_file"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
[ -s "$display_file" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=:$(tr -dc 0-9 <"$display_file")
xdpyinfo >/dev/null
echo "Xvfb on $DISPLAY (pid $xvfb_pid)"

start_prefix "$WORK" x11
trap cleanup EXIT
# A Wine virtual desktop: Wine itself places the boxes and draws their
# title bars, with no window manager in between.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Gallery /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Gallery /d 1024x768 /f </dev/null >/dev/null 2>&1
# The desktop takes effect with a fresh server.
wineserver -k 2>/dev/null || true
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1

handshake=$WORK/handshake
shots=$WORK/boxes
mkdir -p "$handshake" "$shots"

# Pixels of the icon's colour in a picture: red (error), yellow (warning), blue (information).
icon_pixels() {
    local picture=$1 kind=$2
    convert "$picture" -depth 8 txt:- | awk -v kind="$kind" '
        /^#/ { next }
        {
            s = $0; sub(/^[^(]*\(/, "", s); split(s, c, /[,)]/)
            r = c[1] + 0; g = c[2] + 0; b = c[3] + 0
            if (kind == "error" && r > 150 && g < 90 && b < 90) n++
            if (kind == "warning" && r > 180 && g > 140 && b < 90) n++
            if (kind == "information" && b > 150 && r < 110 && b > g + 30) n++
        }
        END { print n + 0 }'
}

# The X window that shows Wine's virtual desktop; Windows screen coordinates are its own.
desktop_window() {
    xwininfo -root -tree | awk '/"Gallery - Wine desktop"/ { print $1; exit }'
}

# A picture of the desktop's rectangle, once two takes in a row agree.
capture() {
    local out=$1 geometry=$2 previous=$WORK/take-a.png current=$WORK/take-b.png window
    window=$(desktop_window)
    [ -n "$window" ] || { echo "  no Wine desktop window on $DISPLAY" >&2; return 1; }
    import -window "$window" -crop "$geometry" +repage "$previous"
    for _ in $(seq 20); do
        sleep 0.2
        import -window "$window" -crop "$geometry" +repage "$current"
        if [ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" = 0 ]; then
            mv "$current" "$out"
            return 0
        fi
        mv "$current" "$previous"
    done
    return 1
}

# Reads the driver's reports; each BOX line is answered with a picture and a file.
take_pictures() {
    local failures=0 line kind name l t r b il it ir ib
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        BOX\ *)
            read -r _ name kind l t r b il it ir ib <<<"$line"
            local picture=$shots/$name.png problem=""
            if ! capture "$picture" "$((r - l))x$((b - t))+$l+$t"; then
                problem="the picture never settled"
            else
                local colours icon
                colours=$(identify -format %k "$picture")
                convert "$picture" -crop "$((ir - il))x$((ib - it))+$((il - l))+$((it - t))" +repage \
                    "$WORK/icon-$name.png"
                icon=$(icon_pixels "$WORK/icon-$name.png" "$kind")
                [ "$colours" -ge 16 ] || problem="the picture is nearly blank ($colours colours)"
                [ "$icon" -ge 20 ] || problem="${problem:+$problem; }no $kind icon colour ($icon pixels)"
            fi
            if [ -n "$problem" ]; then
                echo "  $name: $problem"
                failures=$((failures + 1))
            fi
            touch "$handshake/$name.captured"
            ;;
        *) echo "$line" ;;
        esac
    done
    return "$failures"
}

echo "== Provoking and picturing each box of $(windows_path "$BUILD_DIR/Kestrane.exe")"
set +e
wine "$DRIVER" "$(windows_path "$BUILD_DIR/Kestrane.exe")" "$(windows_path "$handshake")" "$@" \
    </dev/null 2>"$WORK/driver-stderr.log" | take_pictures
statuses=("${PIPESTATUS[@]}")
set -e
count=$(find "$shots" -name '*.png' | wc -l)
if [ "${statuses[0]}" -ne 0 ] || [ "${statuses[1]}" -ne 0 ] || { [ $# -eq 0 ] && [ "$count" -ne 12 ]; }; then
    echo "Gallery failed (driver ${statuses[0]}, pictures ${statuses[1]}, $count taken); docs/boxes left as it was." >&2
    exit 1
fi
mkdir -p "$OUT"
cp "$shots"/*.png "$OUT"/
echo "== $count pictures in ${OUT#$KESTRANE_ROOT/}"
