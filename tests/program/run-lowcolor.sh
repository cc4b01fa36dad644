#!/usr/bin/env bash
# The low-colour check end to end, on X screens of depth 8, 15, 16 and 24. Wine shows the
# 24-bit X screen as a display of 32 bits per pixel; X has no deeper screen, and no X server
# here gives a packed 24 bits per pixel. Wine's desktop keeps the display it first started
# on, so each depth gets its own prefix (kept in the build tree for later runs), its own Xvfb
# and its own wineserver, each in a subshell of its own because wine-env.sh keeps its state
# in globals.
#
# Environment (set by the test's registration in tests/CMakeLists.txt):
#   TEST_WORK      the folder that holds the prefixes
#   TEST_EMULATOR  how the tree runs its Windows programs
#   TEST_PROGRAM   the test program; SETUP_EXE the stub it packages
set -u
: "${TEST_WORK:?}" "${TEST_EMULATOR:?}" "${TEST_PROGRAM:?}" "${SETUP_EXE:?}"
sources=$(cd "$(dirname "$0")/../.." && pwd)

# A tree whose programs can't run here (32-bit code on a kernel without it) is skipped.
"$TEST_EMULATOR" --version >/dev/null 2>&1
if [ $? = 77 ]; then
  echo "SKIPPED: this machine cannot run the tree's programs ($TEST_EMULATOR)"
  exit 77
fi

failed=()
for depth in 8 15 16 24; do
  echo "=== X screen of depth $depth"
  (
    . "$sources/scripts/lib/wine-env.sh"
    trap wine_env_stop EXIT
    mkdir -p "$TEST_WORK"
    wine_env_start "$TEST_WORK" "1024x768x$depth" "wineprefix-$depth" || exit 1
    # Without its X screen Wine would carry on without a display and prove nothing.
    [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || { echo "Xvfb did not start a screen of depth $depth"; exit 1; }
    LOWCOLOR_DEPTH=$depth "$TEST_EMULATOR" "$TEST_PROGRAM"
  ) || failed+=("$depth")
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED on the X screens of depth ${failed[*]}"
  exit 1
fi
