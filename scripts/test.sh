#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in the normal build and
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer. Where clang is
# installed, each fuzz target then runs for 30 s under both sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja
cmake --build build
ctest --test-dir build --output-on-failure

cmake -S . -B build-asan -G Ninja -DKRV2_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: fuzz targets not run (their corpus ran as tests above)."
    exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    echo "clang++ cannot link libFuzzer here: fuzz targets not run."
    exit 0
fi
# Every library the targets use is instrumented for coverage as well as the targets.
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKRV2_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build build-fuzz --target fuzz_reply_assembly fuzz_request_parser fuzz_wave_trailer
for name in reply_assembly request_parser wave_trailer; do
    # New inputs go to a scratch folder; the stored corpus stays as it is.
    mkdir -p "$probe/$name"
    build-fuzz/bin/fuzz_$name -max_total_time=30 -print_final_stats=1 \
        "$probe/$name" "fuzz/corpus/$name"
done
