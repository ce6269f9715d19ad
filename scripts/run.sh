#!/usr/bin/env bash
# Builds the 64-bit Windows program and starts it under Wine on your display. Without a
# display it runs the demo instead: a private X server, the program in Wine's virtual
# desktop driven through its real window, and screenshots saved to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$ROOT/build/run-win64
WINE_DIR=$ROOT/build/wine-run
DESKTOP=Decrimp95
. scripts/packages.sh
. scripts/wine-env.sh

build() {
    install_missing cmake make googletest g++-mingw-w64-x86-64 wine64 fonts-wine xvfb xdotool imagemagick
    echo "== building $BUILD"
    mkdir -p build
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$BUILD.configure.log" 2>&1 || { cat "$BUILD.configure.log"; return 1; }
    cmake --build "$BUILD" -j"${JOBS:-2}" --target decrimp95 ui_demo >"$BUILD.build.log" 2>&1 ||
        { tail -40 "$BUILD.build.log"; return 1; }
}

# Wine's own fonts in the prefix: this Wine does not load them from its data folder, and
# without Marlett the caption buttons draw as letters.
prepare_prefix() {
    [ -d "$WINEPREFIX" ] || wine_prefix_make || true
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

run_on_display() {
    export WINEPREFIX=$WINE_DIR/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    prepare_prefix
    echo "== starting Decrimp 95 on $DISPLAY"
    "$WINE64" "$BUILD/shell/decrimp95.exe"
    "$WINESERVER" -w
}

# "SHOT name w h x y" from the demo: one screenshot of that part of the screen.
shoot() {
    mkdir -p docs
    import -window root -crop "$2x$3+$4+$5" +repage -define png:exclude-chunks=date,time "docs/$1.png"
    echo "saved docs/$1.png"
}

# The demo talks to this script through two pipes: its lines out, "done" back after each shot.
run_demo() {
    local pipes line status=0
    pipes=$(mktemp -d)
    mkfifo "$pipes/out" "$pipes/in"
    rm -rf "$WINEPREFIX/drive_c/Samples"
    "$WINE64" explorer /desktop=$DESKTOP,1024x768 "$BUILD/shell/decrimp95.exe" </dev/null >/dev/null 2>&1 &
    timeout 180 "$WINE64" "$BUILD/tests/ui/ui_demo.exe" $DESKTOP <"$pipes/in" >"$pipes/out" 2>&1 &
    local demo=$!
    exec 3>"$pipes/in" 4<"$pipes/out"
    while IFS= read -r -t 60 -u 4 line; do
        line=${line%$'\r'}
        case $line in
            "SHOT "*) shoot ${line#SHOT } && echo done >&3 ;;
            *) echo "$line" ;;
        esac
    done
    exec 3>&- 4<&-
    wait "$demo" || status=$?
    rm -rf "$pipes" "$WINEPREFIX/drive_c/Samples"
    return $status
}

demo() {
    trap wine_env_stop EXIT
    echo "== no display: running the demo on a private X server"
    # Wine's start-up steps report odd statuses even when they work; the demo checks for real.
    wine_env_start "$WINE_DIR" || true
    prepare_prefix
    if run_demo; then
        echo "== demo passed; screenshots in $ROOT/docs/"
    else
        echo "!! demo failed"
        return 1
    fi
}

build
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    run_on_display
else
    [ -z "${DISPLAY:-}" ] || echo "== cannot use display $DISPLAY"
    unset DISPLAY
    demo || exit 1
fi
