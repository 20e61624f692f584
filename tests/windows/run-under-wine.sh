#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix, created on first use,
# and ends that prefix's background processes afterwards, so that none holds
# the caller's output open. Exits with the program's status.
set -u
prefix=$1
wine=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" "$@"
status=$?
"$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null
exit $status
