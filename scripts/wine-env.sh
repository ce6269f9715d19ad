# Sourced by the scripts that run the Windows build: a private X server and Wine prefix.
#   wine_env_start DIR   sets DISPLAY, WINEPREFIX and WINEDEBUG, starts Xvfb and Wine's services
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

wine_env_start() {
    local dir=$1 n
    mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    export DISPLAY=":$n" WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_ENV_XVFB=$!
    local tries=0
    until [ -e "/tmp/.X11-unix/X$n" ] || [ $tries -ge 50 ]; do sleep 0.1; tries=$((tries + 1)); done
    [ -d "$WINEPREFIX" ] || wine_prefix_make
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    "$WINE64" wineboot </dev/null >/dev/null 2>&1
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
