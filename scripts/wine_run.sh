#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's helper processes (explorer,
# services) outlive the program and inherit its output handles, so the output goes
# through a file: ctest's pipe then closes when the program ends.
out="$(mktemp)"
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
