#!/bin/sh
# Set up, build and either run the bundled example or the whole test suite.
#
#   scripts/setup.sh example   install what is missing, build, run examples/wordcount.rv
#   scripts/setup.sh test      install what is missing, build, run every test (also under
#                              AddressSanitizer and UndefinedBehaviorSanitizer), then build
#                              the fuzz targets with clang and run each one briefly
#
# Quick when everything is installed and built already: packages are only installed when
# dpkg does not know them, and the builds are incremental.
set -eu
mode=${1:-example}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

missing=""
for p in $(grep -v '^#' scripts/packages.txt); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

case "$mode" in
example)
    echo "built build/lib/libruvo.so, build/bin/ruvo and build/bin/ruvow"
    # input files are opened relative to the script's directory, which becomes current
    build/bin/ruvo examples/wordcount.rv sample.txt
    ;;
test)
    ctest --test-dir build --output-on-failure -j "$jobs"
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRUVO_SANITIZE=ON >/dev/null
    cmake --build build-asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
    # The fuzz targets, built with clang, each run a fixed number of executions on its seeds.
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DRUVO_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j "$jobs" --target fuzz
    ctest --test-dir build-fuzz -L fuzz --output-on-failure -j "$jobs"
    ;;
*)
    echo "usage: $0 example|test" >&2
    exit 2
    ;;
esac
