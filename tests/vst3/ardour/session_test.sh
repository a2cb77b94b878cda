#!/usr/bin/env bash
# BRIMO in a host nobody here wrote: Ardour's headless session tool inserts it on a track, sets
# a non-default value, rolls the transport, saves; a second process reloads the session and the
# value must come back. Usage: session_test.sh path/to/BRIMO.vst3
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bundle="${1:?usage: session_test.sh BRIMO.vst3}"
fail() { echo "FAIL: $*"; exit 1; }

[ -d "$bundle" ] || fail "no bundle at $bundle"
lua="$(command -v ardour7-lua)" || fail "ardour7-lua is not installed (Debian package ardour)"
scanner=/usr/lib/ardour7/ardour-vst3-scanner
[ -x "$scanner" ] || fail "$scanner is missing"

work="$(mktemp -d "${TMPDIR:-/tmp}/brimo-ardour.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME/.vst3"
cp -r "$bundle" "$HOME/.vst3/BRIMO.vst3"
# Ardour trusts a scan only when it is newer than the module: date the copy back.
find "$HOME/.vst3" -exec touch -d '-1 minute' {} +

LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" "$HOME/.vst3/BRIMO.vst3" >"$work/scan.log" 2>&1 \
  || { cat "$work/scan.log"; fail "the VST3 scanner rejected the bundle"; }

export BRIMO_SESSION_DIR="$work/session" BRIMO_SESSION_NAME=brimo
# "Output" is parameter 4 of the plug-in; Ardour lists the plug-in's parameters after the
# preset and bypass ones it keeps for itself, so the index is found by name below.
export BRIMO_PARAM_VALUE=7.5

run_step() {  # script, log: one process per step; Ardour's own teardown is skipped by os.exit
  timeout 120 "$lua" "$here/$1" >"$work/$2" 2>&1
  local rc=$?
  [ $rc -eq 0 ] || { cat "$work/$2"; fail "$1 ended with status $rc"; }
}
value_of() { sed -n "s/^RESULT $1 //p" "$work/$2" | tail -1; }

# Find the index of "Output" with a dry run that only lists parameters.
export BRIMO_PARAM_INDEX=0 BRIMO_SESSION_NAME=probe BRIMO_SESSION_DIR="$work/probe"
run_step create_session.lua probe.log
index="$(sed -n 's/^RESULT param \([0-9]*\) Output$/\1/p' "$work/probe.log" | head -1)"
[ -n "$index" ] || { cat "$work/probe.log"; fail "Ardour lists no \"Output\" parameter"; }

export BRIMO_PARAM_INDEX="$index" BRIMO_SESSION_NAME=brimo BRIMO_SESSION_DIR="$work/session"
run_step create_session.lua create.log
[ "$(value_of plugin create.log)" = "BRIMO" ] || { cat "$work/create.log"; fail "BRIMO was not inserted"; }
[ "$(value_of processed create.log)" = "true" ] || { cat "$work/create.log"; fail "BRIMO processed no audio"; }
set_value="$(value_of value create.log)"
[ "$(value_of saved create.log)" = "0" ] || { cat "$work/create.log"; fail "the session was not saved"; }

run_step reload_session.lua reload.log
[ "$(value_of plugin reload.log)" = "BRIMO" ] || { cat "$work/reload.log"; fail "BRIMO is missing after reload"; }
got="$(value_of value reload.log)"
awk -v a="$got" -v b="$BRIMO_PARAM_VALUE" 'BEGIN { d = a - b; exit !(d < 1e-6 && d > -1e-6) }' \
  || { cat "$work/reload.log"; fail "Output came back as '$got' (set $set_value, wanted $BRIMO_PARAM_VALUE)"; }
echo "PASS: Ardour inserted BRIMO (parameter $index = Output), processed, saved and reloaded $got"
