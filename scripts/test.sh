#!/usr/bin/env bash
# Builds and runs every test: the core natively (g++, and clang with ASan/UBSan and
# the fuzzers), the 64-bit and 32-bit Windows builds under Wine (the 32-bit one where
# the kernel runs 32-bit programs) with the legacy program (no UTF-8 manifest) and the
# builds answering as Windows 95 and XP made in the same build folders, and checks of
# both release exes: zip, imports, instructions. Builds take both cores, one at a time;
# steps that take at most one core each (test suites, each Wine one in a prefix and on a
# display of its own; the fuzzers) run two at a time. Prints the seconds each step took
# and the total. Installs the Debian packages it needs
# when they are missing. Exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-2}

PACKAGES="cmake make g++ clang libclang-rt-14-dev googletest python3 g++-mingw-w64-x86-64 g++-mingw-w64-i686
 mingw-w64-tools wine64 fonts-wine xvfb xdotool imagemagick python3-pefile strace locales
 zlib1g-dev libz-mingw-w64-dev"

# shellcheck source=scripts/packages.sh
. "$ROOT/scripts/packages.sh"

PASSED=0
FAILED=0
SKIPPED=0
FAILURES=()
SKIPS=()
TIMES=()
START=$SECONDS

# Counts a step that ended and prints its time.
step_ended() {  # step_ended NAME STATUS SECONDS
    TIMES+=("$(printf '%5d s  %s' "$3" "$1")")
    if [ "$2" -eq 0 ]; then
        PASSED=$((PASSED + 1))
        echo "-- $1: $3 s"
    else
        FAILED=$((FAILED + 1))
        FAILURES+=("$1")
        echo "!! $1 failed ($3 s)"
    fi
}

step() {  # step NAME COMMAND...: runs one step and counts it
    local name=$1 start=$SECONDS status=0
    shift
    echo "== $name"
    "$@" || status=$?
    step_ended "$name" $status $((SECONDS - start))
}

# side_by_side NAME COMMAND [NAME COMMAND]...: runs the steps two at a time, in the order
# given, each COMMAND a line of shell. A step's output goes to a log of its own and is
# printed whole when it ends, so two steps' lines never mix. Each step gets a lane
# (WINE_LANE, 1 or 2): the folder of its Wine prefix and the display it may use.
side_by_side() {
    local names=() commands=() next=0 running=0 pid index lane status
    local -A index_of=() lane_of=() started=()
    local -a lane_free=([1]=1 [2]=1)
    while [ $# -ge 2 ]; do
        names+=("$1")
        commands+=("$2")
        shift 2
    done
    mkdir -p "$ROOT/build/logs"
    while [ $next -lt ${#names[@]} ] || [ $running -gt 0 ]; do
        if [ $next -lt ${#names[@]} ] && [ $running -lt 2 ]; then
            lane=1
            [ "${lane_free[1]}" -eq 1 ] || lane=2
            lane_free[$lane]=0
            echo ".. ${names[next]}: started"
            (WINE_LANE=$lane; eval "${commands[next]}") >"$ROOT/build/logs/step-$next.log" 2>&1 </dev/null &
            pid=$!
            index_of[$pid]=$next
            lane_of[$pid]=$lane
            started[$pid]=$SECONDS
            next=$((next + 1))
            running=$((running + 1))
            continue
        fi
        status=0
        wait -n -p pid || status=$?
        index=${index_of[$pid]}
        echo "== ${names[index]}"
        cat "$ROOT/build/logs/step-$index.log"
        step_ended "${names[index]}" $status $((SECONDS - ${started[$pid]}))
        lane_free[${lane_of[$pid]}]=1
        running=$((running - 1))
    done
}

skip() {  # skip NAME WHY: a step that cannot run here, counted as neither passed nor failed
    echo "== $1: skipped, $2"
    SKIPPED=$((SKIPPED + 1))
    SKIPS+=("$1")
}

# Builds one folder; our own sources must compile without a single warning.
build() {  # build DIR CMAKE-ARGS...
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j"$JOBS" >"$dir.build.log" 2>&1 ||
        { grep -E 'error|Error' "$dir.build.log" | head -40; return 1; }
    if grep -E '^/?[^ ]*(core|shell|tests|bench|resources)/[^ ]*: warning' "$dir.build.log" | grep -v googletest; then
        echo "warnings in $dir"
        return 1
    fi
}

build_sanitized() (
    export CC=clang CXX=clang++
    build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDECRIMP_FUZZ=ON \
        "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all"
)

run_ctest() {  # run_ctest DIR [CTEST-ARGS...]
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure --timeout 600 "$@")
}

# fuzz_selection tries whole selection buffers (4,000 characters and its 5-byte header)
# from the start, instead of growing its inputs slowly from a few bytes.
fuzz_options() {  # fuzz_options TARGET
    case $1 in
        fuzz_selection) echo "-max_len=4005 -len_control=0" ;;
        *) echo "" ;;
    esac
}

run_fuzzer() {  # run_fuzzer TARGET
    local target=$1 corpus=$ROOT/build/asan/fuzz-corpus/$1 extra=()
    mkdir -p "$corpus"
    # Committed seeds and a dictionary, where a target has them, steer it to the rare cases.
    [ -f "$ROOT/tests/fuzz/$target.dict" ] && extra+=("-dict=$ROOT/tests/fuzz/$target.dict")
    [ -d "$ROOT/tests/fuzz/seeds/$target" ] && extra+=("$ROOT/tests/fuzz/seeds/$target")
    # shellcheck disable=SC2046
    (cd "$ROOT/build/asan" && "./tests/fuzz/$target" $(fuzz_options "$target") -max_total_time="$FUZZ_SECONDS" \
        "$corpus" "${extra[@]}" 2>"$ROOT/build/asan/$target.log") || { tail -40 "$ROOT/build/asan/$target.log"; return 1; }
    grep -a -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$ROOT/build/asan/$target.log" | sed "s/^/$target: /"
}

# One configuration's tests (a ctest label: program, legacy, as95, asXP; see
# tests/CMakeLists.txt) under Wine, in the prefix and on a display of this step's lane.
windows_tests() {  # windows_tests DIR LABEL [CTEST-ARGS...]
    local dir=$1 label=$2 result
    shift 2
    # shellcheck source=scripts/wine-env.sh
    . "$ROOT/scripts/wine-env.sh"
    result=0
    wine_env_start "$ROOT/build/wine/lane${WINE_LANE:-1}" || result=$?
    [ $result -ne 0 ] || { run_ctest "$dir" -L "^$label\$" "$@"; result=$?; }
    wine_env_stop
    return $result
}

# Runs its own traced Wine server in this lane's prefix, so nothing else may use it meanwhile.
windows_replace_order() {  # windows_replace_order win64|win32
    local dir=$ROOT/build/wine/lane${WINE_LANE:-1} loader=wine
    [ "$1" = win32 ] && loader=wine32
    # shellcheck source=scripts/wine-env.sh
    . "$ROOT/scripts/wine-env.sh"
    [ -d "$dir/prefix" ] || { wine_env_start "$dir" || return 1; wine_env_stop; }
    WINEPREFIX="$dir/prefix" WINEDEBUG=-all \
        sh "$ROOT/tests/order/trace-replace.sh" $loader "$ROOT/build/$1/tests/order/convert_one.exe"
}

# The zip a Windows user gets from one build, made by cpack (stripped exe and
# README.txt) and checked by scripts/check-package.py, which prints what it checked.
package_and_check() {  # package_and_check DIR win32|win64
    local dir=$1 arch=$2 version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
    rm -f "$dir"/decrimp95-*.zip
    (cd "$dir" && cpack -G ZIP >cpack.log 2>&1) || { cat "$dir/cpack.log"; return 1; }
    /usr/bin/python3 "$ROOT/scripts/check-package.py" "$dir/decrimp95-$version-$arch.zip" "$arch" "$version"
}

# The 32-bit program is for a Pentium Pro or later and must start on a CPU without
# SSE2: outside the repair's wide paths, which run only after the CPU and the system
# said yes, it may use no vector register and only the instructions listed in
# scripts/pentium-pro-instructions.txt. Prints how much it checked.
check_i686_instructions() {
    local exe=$ROOT/build/win32/shell/decrimp95.exe code
    code=$(i686-w64-mingw32-objdump -d --no-show-raw-insn -M intel "$exe") || { echo "cannot disassemble $exe"; return 1; }
    awk -v list="$ROOT/scripts/pentium-pro-instructions.txt" '
        BEGIN {
            while ((getline line < list) > 0) {
                if (line ~ /^#/) continue
                n = split(line, word, " ")
                if (n == 2 && word[2] ~ /^\^/) { only[word[1]] = word[2]; continue }
                for (i = 1; i <= n; i++) allowed[word[i]] = 1
            }
        }
        /^[0-9a-f]+ <.*>:$/ { name = $2; gsub(/^<|>:$/, "", name); next }
        /^ *[0-9a-f]+:\t/ {
            if (name ~ /RestoreChunks(Sse2|Avx2)/) { wide++; next }
            text = $0
            sub(/^[^\t]*\t/, "", text)
            gsub(/<[^>]*>/, "", text)  # symbol names
            n = split(text, word, " ")
            i = 1
            while (i < n && word[i] ~ /^(rep|repz|repnz|repe|repne|lock|data16|addr16|cs|ds|es|ss|fs|gs)$/) i++
            op = word[i]
            checked++
            functions[name] = 1
            if (text ~ /(^|[^a-z0-9_])([xyz]mm[0-9]+|mm[0-7])([^0-9]|$)/) bad[name ": vector register: " text] = 1
            else if (!(op in allowed) && !((op in only) && name ~ only[op])) bad[name ": " text] = 1
        }
        END {
            for (f in functions) count++
            for (b in bad) { print "  not for a Pentium Pro without SSE2: " b; problems++ }
            printf "  %d instructions in %d functions checked, %d in the wide paths left out; %d problem(s)\n",
                checked, count, wide, problems
            exit (problems > 0 || checked == 0 || wide == 0)
        }' <<<"$code"
}

# The import tables of the program: each call must be one its oldest Windows exports.
check_imports() {  # check_imports win32|win64
    /usr/bin/python3 "$ROOT/scripts/check-imports.py" "$1" "$ROOT/build/$1/shell/decrimp95.exe"
}

# True when this kernel runs 32-bit programs (Wine's 32-bit loader is one).
runs_32_bit_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# wine32:i386 is another architecture's package: dpkg must know i386 before apt can fetch it.
add_architecture i386 || { echo "could not add the i386 architecture"; exit 1; }
install_missing $PACKAGES || { echo "could not install the packages this needs"; exit 1; }
# The 32-bit Wine is another architecture's package, and a mirror caught mid-sync can hold
# its index back: then the i686 suites are skipped below, saying why, and the rest run.
install_missing wine32:i386 || echo "== could not install wine32:i386: the i686 program cannot be run here"
mkdir -p build
# Builds use both cores, one at a time.
step "native build (g++)" build build/native -DCMAKE_BUILD_TYPE=Release
step "sanitizer build (clang, ASan+UBSan)" build_sanitized
side_by_side \
    "native tests" "run_ctest build/native" \
    "sanitizer tests" "run_ctest build/asan"
side_by_side \
    "fuzzer fuzz_selection, ${FUZZ_SECONDS}s" "run_fuzzer fuzz_selection" \
    "fuzzer fuzz_convert, ${FUZZ_SECONDS}s" "run_fuzzer fuzz_convert" \
    "fuzzer fuzz_formats, ${FUZZ_SECONDS}s" "run_fuzzer fuzz_formats"
# Each Windows build folder holds the program, the legacy program and the builds
# answering as Windows 95 and XP, with their tests: they differ only in the manifest and
# in core/windows/newer_calls.cpp, and share every other object.
step "Windows x86_64 build: the program, the legacy program, the builds answering as Windows 95 and XP" \
    build build/win64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
step "Windows i686 build: the program, the legacy program, the builds answering as Windows 95 and XP" \
    build build/win32 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
# Under Wine, two configurations at a time, each in a prefix and on a display of its own.
# The answering builds run the core, window, fault and name suites, the legacy program its
# resources and names under code pages 932 and 1252 (see README.md, Tests).
WINDOWS_STEPS=(
    "Windows x86_64 answering as Windows 95: core, window, fault and name suites under Wine"
    "windows_tests build/win64 as95"
    "Windows x86_64 answering as Windows XP: core, window, fault and name suites under Wine"
    "windows_tests build/win64 asXP"
    "Windows x86_64 tests under Wine" "windows_tests build/win64 program"
)
if runs_32_bit_programs; then
    WINDOWS_STEPS+=(
        "Windows i686 answering as Windows 95: core, window, fault and name suites under Wine"
        "windows_tests build/win32 as95"
        "Windows i686 answering as Windows XP: core, window, fault and name suites under Wine"
        "windows_tests build/win32 asXP"
        "Windows i686 tests under Wine" "windows_tests build/win32 program"
        "Windows i686 overwrite order under Wine (strace)" "windows_replace_order win32"
    )
else
    for name in "Windows i686 tests under Wine" "Windows i686 answering as Windows 95 and XP" \
        "Windows i686 overwrite order under Wine (strace)"; do
        skip "$name" "no 32-bit Wine runs here (/usr/lib/wine/wine --version fails: wine32:i386 not installed, or this kernel cannot run 32-bit programs)"
    done
fi
WINDOWS_STEPS+=(
    "Windows x86_64 legacy program (no UTF-8 manifest): resources, names under code pages 932 and 1252"
    "windows_tests build/win64 legacy"
    "Windows x86_64 overwrite order under Wine (strace)" "windows_replace_order win64"
    "Windows x86_64 zip" "package_and_check build/win64 win64"
    "Windows x86_64 imports: only calls Windows XP x64 has" "check_imports win64"
    "Windows i686 zip" "package_and_check build/win32 win32"
    "Windows i686 imports: only calls Windows 95 has (and the msvcrt.dll of 98 and NT 4)" "check_imports win32"
    "Windows i686 program: Pentium Pro instructions, SSE only in the wide paths" "check_i686_instructions"
)
side_by_side "${WINDOWS_STEPS[@]}"

echo
printf '%s\n' "${TIMES[@]}"
echo "total: $((SECONDS - START)) s"
[ $FAILED -eq 0 ] || printf 'failed: %s\n' "${FAILURES[@]}"
[ $SKIPPED -eq 0 ] || printf 'skipped: %s\n' "${SKIPS[@]}"
echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
[ $FAILED -eq 0 ]
