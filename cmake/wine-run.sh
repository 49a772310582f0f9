#!/usr/bin/env bash
# Runs one Windows program under Wine for CMake, CTest and CI.
# usage: wine-run.sh PREFIX [PROGRAM.exe [ARGUMENTS...]]
#
# PREFIX is a private Wine prefix. It is created on first use (ten seconds or
# more), under a lock, so that programs started in parallel wait for one
# another instead of each setting it up; without a program the prefix is only
# made ready. Wine's own messages are silenced. A Windows console program ends
# its lines with CR LF; the CRs are dropped from standard output, so that its
# lines read as a native program's do. The exit status is the program's.
set -uo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine || command -v wine64) || { echo "wine-run.sh: wine is not installed" >&2; exit 127; }

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$prefix.lock"
fi

[ $# -gt 0 ] || exit 0
"$wine" "$@" | tr -d '\r'
exit "${PIPESTATUS[0]}"
