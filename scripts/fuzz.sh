#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (libFuzzer, ASan, UBSan) and runs one or all of
# them, each from a seed corpus this script writes. Installs the compiler, libFuzzer and the Qt
# development packages with apt-get first when they are missing. Safe to run again: the build is
# incremental and the corpus each run grows is kept.
#
# Usage: scripts/fuzz.sh [target|all] [runs]   (defaults: all, 1000000)
#   target: fuzz_protocol, fuzz_sessionreader, fuzz_bootloader, ...  (every fuzz/fuzz_<name>.cpp)
# Environment: BUILD_DIR overrides the build directory (default: build-fuzz/ in the project root).
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
target="${1:-all}"
runs="${2:-1000000}"
source_dir="${ROOT}"
build="${BUILD_DIR:-${source_dir}/build-fuzz}"

if ! [[ "${runs}" =~ ^[0-9]+$ ]]; then
    echo "runs must be a number, not '${runs}'" >&2
    exit 2
fi

# --- Packages -------------------------------------------------------------------------------------
# The machine's clang, whatever its version, and the package holding its libFuzzer and sanitizer
# runtimes: libclang-rt-<major>-dev where the distribution splits them out (Debian 12 and later),
# libclang-common-<major>-dev on older releases.
install_missing "${BUILD_PACKAGES[@]}" clang
clang_major="$(clang -dumpversion | cut -d. -f1)"
if apt-cache show "libclang-rt-${clang_major}-dev" >/dev/null 2>&1; then
    install_missing "libclang-rt-${clang_major}-dev"
else
    install_missing "libclang-common-${clang_major}-dev"
fi
probe="$(mktemp -d)"
printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' \
    >"${probe}/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address "${probe}/probe.cpp" -o "${probe}/probe" 2>"${probe}/log"; then
    cat "${probe}/log" >&2
    echo "clang ${clang_major} cannot link libFuzzer programs on this machine." >&2
    rm -rf "${probe}"
    exit 1
fi
rm -rf "${probe}"
echo "Using clang ${clang_major} with its libFuzzer runtime"

# --- Build ----------------------------------------------------------------------------------------
# Debug keeps Qt's assertions; -O1 makes the targets several times faster than -O0.
echo "Configuring ${build} with clang and ZELPRESS_FUZZ=ON"
CC=clang CXX=clang++ cmake -G Ninja -S "${source_dir}" -B "${build}" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DZELPRESS_FUZZ=ON -DZELPRESS_BUILD_TESTS=OFF >/dev/null

mapfile -t all_targets < <(cd "${source_dir}/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
if [[ "${target}" == all ]]; then
    targets=("${all_targets[@]}")
elif [[ " ${all_targets[*]} " == *" ${target} "* ]]; then
    targets=("${target}")
else
    echo "Unknown target '${target}'; known: all ${all_targets[*]}" >&2
    exit 2
fi
echo "Building ${all_targets[*]}"
ninja -C "${build}" -j1 "${all_targets[@]}"

# --- Seed corpora ---------------------------------------------------------------------------------
# CRC-16 of the text after "$", as the press puts behind "*" (reflected 0x8408, initial 0xFFFF).
crc16() {
    local text="$1" crc=$((0xFFFF)) i bit byte
    for ((i = 0; i < ${#text}; i++)); do
        printf -v byte '%d' "'${text:i:1}"
        crc=$((crc ^ byte))
        for ((bit = 0; bit < 8; bit++)); do
            if ((crc & 1)); then crc=$(((crc >> 1) ^ 0x8408)); else crc=$((crc >> 1)); fi
        done
    done
    printf '%X' "${crc}"
}
framed() { printf '$%s*%s\n' "$1" "$(crc16 "$1")"; }

seed_fuzz_protocol() {
    local corpus="$1"
    # Byte 0 of an input: cuts in bits 0-2, cut stride in bits 3-5, re-entrant slot in bit 6, reads
    # through the port in bit 7; then one length byte per cut; then the received text.
    { printf '\000'; framed 'R,1,2'; } >"${corpus}/seed_one_sample"
    { printf '\203\007\026'; framed 'R,60000,0'; framed 'R,59990,1520'; framed 'R,-5,822000,17'; } \
        >"${corpus}/seed_split_samples"
    { printf '\102\011\005'; framed 'R,1,0'; framed 'R,2,0'; framed 'D,3'; printf '$VER,1.2.3\n'; } \
        >"${corpus}/seed_reentrant_mixed"
    { printf '\001\004'; printf 'noise$Bootloader\r\n$BLE,1,2,3\n$D*BA7\n$OK,page,3\n$R,7'; } \
        >"${corpus}/seed_other_lines"
    # Three reads of 2040 bytes: the third leaves more than 4096 characters without a line feed.
    { printf '\073\377\377\377'; framed 'R,1,2'; printf 'x%.0s' {1..6100}; printf '\n'; framed 'R,3,4'; } \
        >"${corpus}/seed_over_bound"
}

seed_fuzz_sessionreader() {
    local corpus="$1"
    # A small session, a metric trace and an empty one.
    printf '%s' '{"AppVersion":"1.0.0","FirmwareVersion":"","Graphs":[{"Color":"#ff0000","Comment":"","Flyer":false,"Name":"Trace 1","Show":true,"TraceNumber":1,"Units":"Imperial","Velocity":0,"X Values":[0.5,0.4,0.3],"Y Values":[1,2,3]}]}' \
        >"${corpus}/seed_session.json"
    printf '%s' '{"Graphs":[5,{"Units":"Metric","X Values":[25.4],"Y Values":[10,20]},{}]}' \
        >"${corpus}/seed_metric.json"
    printf '%s' '{}' >"${corpus}/seed_empty.json"
}

seed_fuzz_settings() {
    local corpus="$1"
    # The file the program writes, one with values out of range and of the wrong types, and a broken one.
    printf '%s' '{"AutorunFilterLength":35,"AutorunMinDiffAdc":1500,"AutorunThresholdRatio":0.3,"AutorunTimeoutMs":1000,"DarkMode":false,"HighlightFlyers":true,"JamDetectionTime":200,"LegendColumnVisibleFlyer":false,"LegendColumnVisiblePeakForce":false,"LegendColumnVisibleStartingPosition":true,"LegendColumnVisibleTerminalForce":true,"LegendColumnVisibleTitle":false,"LegendColumnVisibleVelocity":false,"LegendColumnVisibleWorkDone":false,"MM":false,"MaxPressure":80,"UserDirectory":"/home/user/Documents"}' \
        >"${corpus}/seed_written.json"
    printf '%s' '{"MaxPressure":1e308,"JamDetectionTime":-5,"MM":"yes","UserDirectory":7,"AutorunTimeoutMs":3e9,"AutorunFilterLength":-1}' \
        >"${corpus}/seed_out_of_range.json"
    printf '%s' '{"MaxPressure":' >"${corpus}/seed_broken.json"
}

seed_fuzz_bootloader() {
    local corpus="$1"
    # Byte 0 of an input: starting point in bits 0-1, plus 4 with bit 5 (0 waiting for the
    # bootloader, 1 programming, waiting for the erase, 2 in the first page, 3 first page full, 4 the
    # CRC requested, 5 the first read-back, 6 the application region's last read-back, 7 the first
    # exit command), ticks after each line in bits 2-3, a press that answers in bit 4, the exchange
    # in bit 6; then the reply lines, where a line of byte 0x04 closes the link and one of 0x18
    # abandons the upgrade.
    readback() { # address, byte value, [value of byte 7]
        local line="\$VACK,$1" k
        for ((k = 0; k < 64; k++)); do
            if ((k == 7)); then line+=",${3:-$2}"; else line+=",$2"; fi
        done
        printf '%s\n' "${line}"
    }
    { printf '\000'; readback 26000 0 80; readback 7EFC0 FF; printf '$VACK,1,2*3\n$GACK\n'; } \
        >"${corpus}/seed_readbacks"
    { printf '\000'; printf '$VACK,%01200d' 26000; printf ',0%.0s' {1..64}; printf '\n'; readback 26000 0a0; } \
        >"${corpus}/seed_long_lines"
    { printf '\100$Bootloader\n$GACK\n$EACK\n$DACK\n$DACK\n'; } >"${corpus}/seed_start"
    { printf '\125$DACK\n$PACK\nnoise\n$EACK\n$DACK\n'; } >"${corpus}/seed_programming"
    { printf '\103$PACK\n$EACK\n$DACK\n$CACK\n'; } >"${corpus}/seed_page_full"
    { printf '\140$CACK\n$PACK\n'; } >"${corpus}/seed_crc"
    { printf '\145'; readback 26000 0 80; readback 26040 0 80; readback 26040 0 81; } >"${corpus}/seed_verifying"
    { printf '\162'; readback 62FC0 0 BF; printf '\030\n$VACK\n'; } >"${corpus}/seed_abandoned_at_the_jump"
    { printf '\167$EACK\n\004\n$X\n'; } >"${corpus}/seed_link_closed_while_starting"
}

# Longest input per target: the protocol's must pass its 4096-character bound on pending text.
max_len() {
    case "$1" in
    fuzz_protocol) echo 12000 ;;
    fuzz_window) echo 256 ;;
    *) echo 4096 ;;
    esac
}

# Inputs per target for the runs asked. An input of fuzz_window is a sequence of up to 128 window
# commands, each a few milliseconds of the real window: there the count asked is of commands, about
# 60 to an input (the target reports every 20,000 commands it has run).
inputs_for() {
    case "$1" in
    fuzz_window) echo $(($2 / 60 > 0 ? $2 / 60 : 1)) ;;
    *) echo "$2" ;;
    esac
}

# --- Run ------------------------------------------------------------------------------------------
# Targets that show widgets run headless; the font and graphics stacks keep process-lifetime caches
# that LeakSanitizer must not count (the same suppressions as the tests).
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=${source_dir}/tests/lsan.supp${LSAN_OPTIONS:+:${LSAN_OPTIONS}}"
# A smaller quarantine for freed memory and shorter allocation stacks: the targets that build widgets
# allocate a lot per input, and with ASan's defaults a million-input run climbs towards 1 GB and runs
# at two thirds of the speed. Use-after-free within an input is still caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=10}"
# Each run starts from the hand-written seeds above and from fuzz/corpus/<target>/, the committed,
# minimised corpus of the last long run (read only: what a run finds goes into the build's corpus).
# To refresh the committed one after a long run:
#   build-fuzz/fuzz/<target> -merge=1 fuzz/corpus/<target> build-fuzz/corpus/<target>
for name in "${targets[@]}"; do
    corpus="${build}/corpus/${name}"
    mkdir -p "${corpus}"
    if declare -F "seed_${name}" >/dev/null; then
        "seed_${name}" "${corpus}"
    fi
    committed=()
    if [ -d "${source_dir}/fuzz/corpus/${name}" ]; then
        committed=("${source_dir}/fuzz/corpus/${name}")
    fi
    echo "Running ${name} for $(inputs_for "${name}" "${runs}") inputs (corpus ${corpus}, artifacts in ${build})"
    (cd "${build}" && "${build}/fuzz/${name}" -runs="$(inputs_for "${name}" "${runs}")" -max_len="$(max_len "${name}")" \
        -rss_limit_mb=4096 -print_final_stats=1 "${corpus}" "${committed[@]}")
done
