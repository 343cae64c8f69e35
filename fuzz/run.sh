#!/usr/bin/env bash
# Builds the fuzz targets of the readers with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60).
#   fuzz/run.sh [SECONDS] [TARGET ...]
# Targets: fuzz_param_file fuzz_material_file fuzz_data_file fuzz_fourier_curve fuzz_tables
# fuzz_project_file.
# The growing corpus is kept in build-fuzz/corpus/TARGET, the seeds in fuzz/corpus/TARGET; an
# input that crashes lands in build-fuzz/crashes/TARGET/ (add it to fuzz/regressions/TARGET/).
# TOLVI_WERROR=ON builds with warnings as errors (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
    targets=(fuzz_param_file fuzz_material_file fuzz_data_file fuzz_fourier_curve fuzz_tables
             fuzz_project_file)

missing=()
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVI_FUZZ=ON -DTOLVI_BUILD_GUI=OFF -DTOLVI_BUILD_TESTS=OFF -DTOLVI_BUILD_BENCH=OFF \
    -DTOLVI_WERROR="${TOLVI_WERROR:-OFF}"
cmake --build build-fuzz --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
    mkdir -p "build-fuzz/corpus/$t" "build-fuzz/crashes/$t"
    echo "== $t for ${seconds}s"
    if ! "build-fuzz/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t/" \
            "build-fuzz/corpus/$t" "fuzz/corpus/$t"; then
        echo "$t: an input failed, see build-fuzz/crashes/$t/"
        status=1
    fi
done
exit $status
