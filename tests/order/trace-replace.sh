#!/bin/sh
# Traces one overwrite-mode repair and checks the order in which its file calls reach
# the system: the unfinished copy is flushed before it is named "Copy of a.mp3", and named
# before it replaces the picked file; any unlink of that file comes after the flush.
#   trace-replace.sh native CONVERT_ONE       the native build
#   trace-replace.sh wine CONVERT_ONE.EXE     the Windows build in $WINEPREFIX; this stops the
#                                             prefix's Wine server and starts its own, traced,
#                                             since Wine renames and deletes there; the replace
#                                             must be ReplaceFileA's
#   trace-replace.sh wine32 CONVERT_ONE.EXE   the same for the 32-bit build
set -u
mode=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/decrimp-order-XXXXXX) || exit 1
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir "$work/files"
printf 'a\r\nb\r\n' >"$work/files/a.mp3"
calls=${CALLS:-fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat}

loader=/usr/lib/wine/wine64
[ "$mode" = wine32 ] && loader=/usr/lib/wine/wine
case $mode in
native)
    strace -f -ttt -y -e trace=$calls -o "$work/program.log" "$program" "$work/files" a.mp3 || exit 1
    ;;
wine | wine32)
    server=/usr/lib/wine/wineserver64
    [ -x $server ] || server=$(command -v wineserver)
    $server -k </dev/null >/dev/null 2>&1
    $server -w </dev/null >/dev/null 2>&1
    strace -f -ttt -y -e trace=$calls -o "$work/server.log" $server -f -p </dev/null >/dev/null 2>&1 &
    traced=$!
    sleep 1
    # Wine's services start with the first program and outlive it: start them untraced,
    # or strace would wait for them.
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
    kill -0 $traced 2>/dev/null || { echo "the traced Wine server did not start"; exit 1; }
    folder="Z:$(printf '%s' "$work/files" | tr / '\\')"
    strace -f -ttt -y -e trace=$calls -o "$work/program.log" $loader "$program" "$folder" a.mp3 </dev/null
    status=$?
    $server -k </dev/null >/dev/null 2>&1
    wait $traced
    [ $status -eq 0 ] || { echo "the repair failed under Wine ($status)"; exit 1; }
    ;;
*)
    echo "usage: $0 native|wine|wine32 PROGRAM" >&2
    exit 2
    ;;
esac
[ "$(od -An -c "$work/files/a.mp3" | tr -d ' ')" = 'a\nb\n' ] || { echo "a.mp3 was not repaired"; exit 1; }
replace_file=
[ "$mode" = native ] || replace_file=--replace-file
/usr/bin/python3 "$here/check_order.py" $replace_file "$work/files" "$work"/*.log
