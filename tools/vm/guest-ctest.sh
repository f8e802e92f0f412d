#!/bin/bash
# guest-ctest.sh BUILD_DIR TESTS_DIR - in a test machine: runs CTest over the
# test list in TESTS_DIR (written by guest-tests.cmake) and leaves its JUnit
# report in $FERROTUNE_VM_RESULTS.
#
# The source tree and the build folder are at the same paths as on the host, so
# the tests' command lines need no change. The build folder gets what
# tools/testenv.sh gives it on the host: a ready Wine prefix and the number of
# the display; the tools find the machine's Wine through the variables that
# tools/wine.sh reads: WINE64 is `wine`, which starts 32-bit programs (on the
# WoW64 machine as WoW64 processes), and WINESERVER the server binary that the
# machine's init names.
set -u
build=$1
tests=$2
export WINE64=$(command -v wine) WINESERVER
rm -rf "$build/wineprefix" && ln -s "$WINEPREFIX" "$build/wineprefix"
mkdir -p "$build/testenv" && echo "${DISPLAY#:}" >"$build/testenv/display"
cd "$tests" || exit 1
ctest --output-on-failure --timeout 2400 --output-junit "$FERROTUNE_VM_RESULTS/junit.xml"
