#!/usr/bin/env bash
# Installs what the build needs (Debian), configures a Release build in build/ and builds it.
#   ./build.sh          install missing packages, configure, build
#   ./build.sh run      ... then start the program
#   ./build.sh test     ... then run every test
# BUILD_TYPE (default Release) and TOLVI_WERROR=ON (warnings as errors, as CI builds) are read
# from the environment.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-charts-dev libqt6opengl6-dev fonts-dejavu-core
          libgtest-dev libgmock-dev libbenchmark-dev python3 xvfb xauth
          libxrl-dev locales libyaml-cpp-dev nlohmann-json3-dev pybind11-dev python3-dev
          python3-numpy parallel)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
    -DTOLVI_WERROR="${TOLVI_WERROR:-OFF}"
cmake --build build

case "${1:-}" in
    run)
        exec build/bin/tolvi
        ;;
    test)
        cd build && ctest --output-on-failure -j"$(nproc)"
        ;;
esac
