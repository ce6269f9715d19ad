#!/usr/bin/env bash
# The slow check: a file of just over 2 GiB converted in both modes, natively and by the
# Windows build under Wine, every byte compared. Run scripts/test.sh first (it builds both).
# Needs about 5 GiB free in the temp folder.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
TMP=${TMPDIR:-/tmp}
cmake --build build/native -j2 --target big_file_check >/dev/null
cmake --build build/win64 -j2 --target big_file_check >/dev/null
echo "== native"
./build/native/tests/big/big_file_check "$TMP"
echo "== Windows build under Wine"
. scripts/wine-env.sh
wine_env_start "$ROOT/build/wine"
trap wine_env_stop EXIT
/usr/lib/wine/wine64 build/win64/tests/big/big_file_check.exe "Z:$(echo "$TMP" | tr / '\\')"
