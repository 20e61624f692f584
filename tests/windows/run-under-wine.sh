#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix, created on first use,
# and ends that prefix's background processes afterwards, so that none holds
# the caller's output open. Exits with the program's status.
#
# When the program printed nothing at all, Wine itself failed to start it
# (which happens now and then where 32-bit programs run under emulation):
# then it is run once more.
set -u
prefix=$1
wine=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
out=$(mktemp)
trap 'rm -f "$out"' EXIT

for attempt in 1 2; do
  "$wine" "$@" >"$out"
  status=$?
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null
  cat "$out"
  [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ] || {
    echo "run-under-wine: Wine started nothing (status $status); once more" >&2
    continue
  }
  break
done
exit $status
