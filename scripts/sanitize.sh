#!/usr/bin/env bash
# Builds the application's libraries and the suites labelled "leakcheck" or
# "sanitize" (set where each suite is added, tests/CMakeLists.txt) with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (CMake
# option MELODRIFT_SANITIZE), and runs them in a test session. Any report
# fails the suite: UBSan halts on its first error, ASan on its first, and
# LeakSanitizer, for the "leakcheck" suites, at exit. Reports from inside
# third-party libraries are suppressed by library name in tests/sanitizers/;
# the project's own code never is.
#   scripts/sanitize.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${MELODRIFT_ASAN_BUILD_DIR:-$root/build-asan}"

# -O1 as the sanitizers advise, and line tables only: enough for file and
# line in every report, at about two thirds of the compile time. The
# program's own web engine only: Chromium's parts run in processes of their
# own, out of the sanitizers' sight, and the time goes to the suites.
cmake -S "$root" -B "$build" -DMELODRIFT_SANITIZE=ON -DMELODRIFT_BUILD_BENCH=OFF -DMELODRIFT_ALL_ENGINES=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" >/dev/null || exit 1
# Only the programs those suites run are built.
cmake --build "$build" -j "$(nproc)" --target melodrift_sanitizer_suites || exit 1

# Mesa's software GL driver, which Qt loads under Xvfb, leaks and is unloaded
# before LeakSanitizer reports, so its leak has no library name to suppress.
# Nothing here draws with GL.
export QT_XCB_GL_INTEGRATION=none
supp="$root/tests/sanitizers"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
status=0
# The web-engine suites' hidden first player plays through GStreamer here:
# leaks inside VLC's plugins could not be suppressed by name.
ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_odr_violation=0" PHONON_BACKEND=phonon_gstreamer \
  "$root/scripts/with-test-session.sh" \
  ctest --test-dir "$build" --output-on-failure --timeout 900 -L leakcheck || status=1
ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:detect_odr_violation=0" \
  "$root/scripts/with-test-session.sh" \
  ctest --test-dir "$build" --output-on-failure --timeout 900 -L sanitize || status=1
exit $status
