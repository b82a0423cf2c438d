#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in the normal build and
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer. Where clang is
# installed, the fuzz targets then share 120 s (KRV2_FUZZ_SECONDS) under both sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja
cmake --build build
ctest --test-dir build --output-on-failure

# The sources keep the repository's format, and clang-tidy finds nothing in the code
# (.clang-tidy says which checks and why), where those tools are installed.
sources=$(find src sim tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) | sort)
if command -v clang-format >/dev/null 2>&1; then
    # shellcheck disable=SC2086
    clang-format --dry-run --Werror $sources
    echo "clang-format: $(echo "$sources" | wc -l) files as formatted"
fi
if command -v run-clang-tidy >/dev/null 2>&1; then
    run-clang-tidy -quiet -p build -j "$(nproc)" "$PWD/(src|sim)/" >build/clang-tidy.log 2>&1 ||
        { cat build/clang-tidy.log; echo "clang-tidy found problems"; exit 1; }
    echo "clang-tidy: no findings"
fi

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
# Each folder of fuzz/corpus is one target's stored corpus; the targets share the fuzz
# time evenly.
names=()
for dir in fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
share=$(( ${KRV2_FUZZ_SECONDS:-120} / ${#names[@]} ))
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKRV2_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build build-fuzz --target "${names[@]/#/fuzz_}"
for name in "${names[@]}"; do
    # New inputs go to a scratch folder; the stored corpus stays as it is.
    mkdir -p "$probe/$name"
    build-fuzz/bin/fuzz_$name -max_total_time="$share" -print_final_stats=1 \
        "$probe/$name" "fuzz/corpus/$name"
done
