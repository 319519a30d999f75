#!/usr/bin/env bash
# Sets up Tolvane on a Debian 12 machine and runs it.
#
#   ./setup.sh run    install what is missing, build, install into ./_install,
#                     and run `tolvane` on its built-in defaults
#   ./setup.sh test   the same set-up, then every test: both builds, the
#                     sanitizer build, the install check and the fuzz targets
#
# Environment: FUZZ_SECONDS (default 60) bounds each fuzz target's run.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
PREFIX=$ROOT/_install
JOBS=$(nproc)

PACKAGES=(
  build-essential cmake pkg-config git bc
  clang libclang-rt-14-dev             # sanitizer and fuzzer runtimes
  libfreetype-dev libfontconfig-dev libpng-dev fonts-liberation2
  libgtest-dev libbenchmark-dev
  zbar-tools zxing-cpp-tools           # independent decoders the tests read symbols back with
  libzint-dev zint                     # the peer: module rows in tests, speed in the benchmarks
  librsvg2-bin                         # renders our SVG output in the tests
  socat                                # linked serial-port pairs for the wedge tests
  libsqlite3-dev sqlite3 pxlib-dev     # the SQL engine and the Paradox table library
  python3-dbf gdal-bin python3-gdal    # independent readers of the dBASE files we write; ogr2ogr for the benchmark
)

step() { printf '\n== %s\n' "$*"; }

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  step "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

build_main() {
  step "building (class library versions 4 and 3)"
  cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DTOLVANE_BENCH=ON >/dev/null
  cmake --build "$ROOT/build" -j"$JOBS"
  cmake --install "$ROOT/build" >/dev/null
  echo "installed into $PREFIX"
}

run_tests() {
  step "tests, both builds"
  ctest --test-dir "$ROOT/build" -j"$JOBS" --output-on-failure

  step "an application built against the installed package"
  cmake -S "$ROOT/tests/consumer" -B "$ROOT/build-consumer" -DCMAKE_PREFIX_PATH="$PREFIX" >/dev/null
  cmake --build "$ROOT/build-consumer" -j"$JOBS" >/dev/null
  "$ROOT/build-consumer/consumer" "$ROOT/build-consumer/consumer.png"
  PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig" \
    c++ "$ROOT/tests/consumer/main.cpp" -o "$ROOT/build-consumer/consumer-pc" \
        $(PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig" pkg-config --cflags --libs tolvane3)
  "$ROOT/build-consumer/consumer-pc"

  step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug \
        -DTOLVANE_SANITIZE=ON >/dev/null
  cmake --build "$ROOT/build-asan" -j"$JOBS"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$ROOT/build-asan" -j"$JOBS" --output-on-failure

  step "threaded tests under ThreadSanitizer"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-tsan" -DCMAKE_BUILD_TYPE=Debug \
        -DTOLVANE_SANITIZE=thread >/dev/null
  cmake --build "$ROOT/build-tsan" -j"$JOBS" --target tolvane_tests4 tolvane_tests3
  for ver in 4 3; do
    # setarch -R: ThreadSanitizer needs the address layout that disabling
    # randomisation gives on kernels with many random mmap bits.
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch "$(uname -m)" -R \
      "$ROOT/build-tsan/tests/tolvane_tests$ver" --gtest_brief=1 \
      --gtest_filter='Wedge*:Thread*:MessageQueue*:Serial*:CliWedge*'
  done

  step "fuzz targets, ${FUZZ_SECONDS:-60} s each"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOLVANE_FUZZ=ON -DTOLVANE_TESTS=OFF >/dev/null
  cmake --build "$ROOT/build-fuzz" -j"$JOBS"
  for target in "$ROOT"/build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    work=$(mktemp -d)   # new inputs go here; the kept seed corpus stays as it is
    echo "-- $name"
    if ! "$target" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=2048 \
         -print_final_stats=1 -artifact_prefix="$work/" "$work" "$ROOT/fuzz/corpus/$name" \
         >"$work/log" 2>&1; then
      cat "$work/log"
      echo "$name failed; the input that did it is in $work" >&2
      exit 1
    fi
    grep -E 'stat::(number_of_executed_units|peak_rss_mb)' "$work/log"
    rm -rf "$work"
  done
}

case "${1:-}" in
  run)
    install_packages
    build_main
    step "tolvane"
    "$PREFIX/bin/tolvane"
    ;;
  test)
    install_packages
    build_main
    run_tests
    ;;
  *)
    echo "usage: $0 run | test" >&2
    exit 2
    ;;
esac
