#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine64:
#   tests/windows/winerun.sh PROGRAM.exe [ARGS...]
# The program's standard output and error go to files first and are printed
# when it has finished: wine's helper processes inherit the program's output
# and outlive it, so a reader of a pipe (ctest, tee) would otherwise wait for
# them. The exit status is the program's.
#
# WINEPREFIX: used as given and set up on first use; when unset, a temporary
# prefix is made for this one run and removed afterwards (a fresh prefix takes
# 10 to 30 s, so callers running several programs should pass their own).
# DISPLAY: the X server for the program's windows (Xvfb in the tests).
set -uo pipefail

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
if [ ! -x "$wine" ]; then
  echo "winerun.sh: $wine not found (install wine64)" >&2
  exit 127
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

export WINEDEBUG=-all
# No Mono or Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

temporary=""
if [ -z "${WINEPREFIX:-}" ]; then
  temporary=$(mktemp -d "${TMPDIR:-/tmp}/ombrine-wine.XXXXXX")
  export WINEPREFIX="$temporary"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ombrine-winerun.XXXXXX")
cleanup() {
  rm -rf "$work"
  if [ -n "$temporary" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    rm -rf "$temporary"
  fi
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  if ! "$wine" wineboot -i >"$work/boot.log" 2>&1 </dev/null; then
    echo "winerun.sh: wineboot failed:" >&2
    cat "$work/boot.log" >&2
    exit 1
  fi
  # Without a window manager (Xvfb), destroying a managed top-level window
  # blocks for 2 s; GDI+ finds no Arial in a fresh prefix.
  cat >"$WINEPREFIX/drive_c/ombrine-settings.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="DejaVu Sans"
EOF
  "$wine" regedit /S 'C:\ombrine-settings.reg' >>"$work/boot.log" 2>&1 </dev/null
fi

"$wine" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null
status=$?
cat "$work/stdout"
cat "$work/stderr" >&2
exit $status
