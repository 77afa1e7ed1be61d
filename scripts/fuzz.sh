#!/bin/sh
# Builds the libFuzzer targets (tests/fuzz/*_fuzz.cc) with clang into
# build-fuzz and runs each for FUZZ_SECONDS (default 60) on its seed corpus
# tests/fuzz/corpus/<target without _fuzz>/. New inputs the fuzzer finds go
# to build-fuzz/corpus/<target>/ so that the seeds in the repository stay
# small; crashes are written to tests/fuzz/ (crash-*, leak-*, timeout-*).
set -eu
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-$(nproc)}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DORIN_FUZZ=ON -DORIN_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
targets=""
for source in tests/fuzz/*_fuzz.cc; do
    targets="$targets $(basename "$source" .cc)"
done
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

status=0
for target in $targets; do
    seeds="tests/fuzz/corpus/${target%_fuzz}"
    found="$build/corpus/$target"
    mkdir -p "$seeds" "$found"
    echo "fuzz: $target for ${seconds}s"
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix=tests/fuzz/ "$found" "$seeds"; then
        echo "fuzz: $target FAILED"
        status=1
    fi
done
exit $status
