# shellcheck shell=bash
# Sourced by the Ardour drivers. scan_home BUNDLE WORK: a throw-away HOME in WORK whose ~/.vst3
# holds a copy of the bundle, scanned. Ardour trusts a scan only when it is newer than the module,
# so the copy is dated back first. Exports HOME; on failure prints the scanner's log and returns 1.
scan_home() {
  export HOME="$2/home"
  mkdir -p "$HOME/.vst3"
  cp -r "$1" "$HOME/.vst3/BRIMO.vst3"
  find "$HOME/.vst3" -exec touch -d '-1 minute' {} +
  LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner "$HOME/.vst3/BRIMO.vst3" \
    >"$2/scan.log" 2>&1 || { cat "$2/scan.log"; return 1; }
}
