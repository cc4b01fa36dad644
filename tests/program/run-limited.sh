#!/usr/bin/env bash
# The extraction's failed write end to end: the flow test's run "FailedWriteUnderAFileSizeLimit"
# under a file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so that a write past the limit
# fails instead of ending the process). Wine starts SETUP.exe from the test program's own
# Unix process, so the limit set here reaches it. The package, larger than the limit, is
# made here before the limit is set: the test program could not write it under the limit.
#
# Environment (set by the test's registration in tests/CMakeLists.txt): TEST_EMULATOR,
# TEST_PROGRAM, TEST_WORK, MKSETUP, SAMPLE_SCR, SETUP_EXE.
set -u
: "${TEST_EMULATOR:?}" "${TEST_PROGRAM:?}" "${TEST_WORK:?}" "${MKSETUP:?}" "${SAMPLE_SCR:?}" "${SETUP_EXE:?}"
limit_kib=1024

# A tree whose programs can't run here (32-bit code on a kernel without it) is skipped.
"$TEST_EMULATOR" --version >/dev/null 2>&1
if [ $? = 77 ]; then
  echo "SKIPPED: this machine cannot run the tree's programs ($TEST_EMULATOR)"
  exit 77
fi

# A saver of 4 MiB of zeros and the sample saver's data block behind them.
work=$TEST_WORK
mkdir -p "$work"
{ head -c $((4 * 1024 * 1024)) /dev/zero; cat "$SAMPLE_SCR"; } >"$work/big.scr" || exit 1
"$MKSETUP" --stub "$SETUP_EXE" --saver "$work/big.scr" --name flow_limit.scr --out "$work/SETUP.exe" || exit 1

ulimit -f "$limit_kib" || exit 1
trap '' XFSZ
FLOW_SIZE_LIMIT_KIB=$limit_kib FLOW_BIG_PACKAGE=$work/SETUP.exe \
  "$TEST_EMULATOR" "$TEST_PROGRAM" --gtest_filter='*UnderAFileSizeLimit*'
