# Sourced by the scripts that run the Windows build: a private X server and Wine prefix.
#   wine_env_start DIR   sets DISPLAY, WINEPREFIX (DIR/prefix) and WINEDEBUG, starts Xvfb
#                        and Wine's services; runs with different DIRs may run side by side.
#                        Fails, saying so, when Xvfb gives no display
#   wine_env_stop        stops them again
#   wine_prefix_make     makes the prefix in $WINEPREFIX (wine_env_start does it when missing)
# Settings that keep Wine from stalling here: no window manager hand-off ("Managed" = N),
# and Wine's services started once, detached from the caller's output.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# A new prefix in $WINEPREFIX, with no window manager hand-off.
wine_prefix_make() {
    "$WINE64" wineboot -i </dev/null >/dev/null 2>&1
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    # Let the server that made the prefix end on its own: a session started while it
    # lingers was seen to take 10 s more for every program's first window.
    "$WINESERVER" -w </dev/null >/dev/null 2>&1
}

# Seconds the X server may take to start: the test driver's own waits are as long. On a
# busy machine its start took 3 to 6 s at a load of 4; the 10 s once allowed here ran out
# beside other builds, and every window test then failed at its start for want of a display.
WINE_ENV_XVFB_SECONDS=120

wine_env_start() {
    local dir=$1 start=$SECONDS
    mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
    # Xvfb takes a free display itself and writes its number once it takes connections,
    # so runs started side by side (each with a folder of its own) never share one.
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$dir/display" 2>/dev/null &
    WINE_ENV_XVFB=$!
    until grep -q '^[0-9]' "$dir/display" 2>/dev/null; do
        if ! kill -0 "$WINE_ENV_XVFB" 2>/dev/null || [ $((SECONDS - start)) -ge $WINE_ENV_XVFB_SECONDS ]; then
            echo "Xvfb gave no display: it ended, or took more than $WINE_ENV_XVFB_SECONDS s"
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(head -n 1 "$dir/display")" WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -d "$WINEPREFIX" ] || wine_prefix_make
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # Its status says nothing: it reports odd ones even when the services start.
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
    if [ -n "${WINE_ENV_XVFB:-}" ]; then
        kill "$WINE_ENV_XVFB" 2>/dev/null || true
        wait "$WINE_ENV_XVFB" 2>/dev/null || true
        WINE_ENV_XVFB=
    fi
}
