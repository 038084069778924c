#!/usr/bin/env bash
# tolvane.exe under Wine on a virtual X display, as a user meets it: it
# starts with the example named on its command line and the COM port it
# remembers (COM5, which the Wine prefix points at a simulated device that
# the Linux build serves), writes the example when its write button is
# clicked, shows the "ИНФОРМАЦИЯ" verdict, and leaves its settings in the
# registry. Wine draws the windows' frames itself, as Windows does.
#
# Usage: tests/windows/window.sh LINUX_CLI WINDOWS_BIN_DIR EXAMPLE_HEX [SCREENSHOT.png]
#   TOLVANE_E2E_WINEPREFIX  the Wine prefix (default ~/.cache/tolvane/wine-window)
set -euo pipefail
linux_cli=$(readlink -f "$1")
bin=$(readlink -f "$2")
example=$(readlink -f "$3")
screenshot=${4:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
export TOLVANE_WINEPREFIX="${TOLVANE_E2E_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tolvane/wine-window}"
export WINEPREFIX="$TOLVANE_WINEPREFIX"
wine_run="$root/scripts/wine-run"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
settings='HKCU\Software\Quendal\Brasko_SD_Velm\Velm_SD_2017'
work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL $*"
  [ -f "$work/window.log" ] && sed 's/^/    /' "$work/window.log" | tail -20
  exit 1
}

# A display with a window manager, as a desktop has.
display=":$((100 + RANDOM % 100))"
Xvfb "$display" -screen 0 1760x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)

# The device, COM5 pointing at it, and a user who chose COM5 before.
"$linux_cli" sim >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
pts=$(head -n 1 "$work/sim.out")
[ -c "$pts" ] || fail "the simulated device did not start"
"$wine_run" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$pts" /f >/dev/null 2>&1
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
"$wine_run" reg delete "$settings" /f >/dev/null 2>&1 || true
"$wine_run" reg add "$settings\\OSerialPortSelector" /v m_PortSelect_0 /t REG_DWORD /d 5 /f >/dev/null 2>&1
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
ln -sfn "$pts" "$WINEPREFIX/dosdevices/com5"

start=$(date +%s)
"$wine_run" "$bin/tolvane.exe" "Z:${example//\//\\}" >"$work/window.log" 2>&1 &
pids+=($!)
main=$(timeout 60 xdotool search --sync --name 'Программирование Pic18F26k42' | head -n 1) ||
  fail "the main window did not appear"
sleep 2
echo "ok   the window started in $(($(date +%s) - start)) s"

# The write button, where the window's layout puts it: (116, 67) + (94, 17)
# of the client area's 427 x 369 dialog units. Wine frames a fixed-size
# window with 3 pixels around and an 18-pixel caption.
eval "$(xdotool getwindowgeometry --shell "$main")"
frame=3 caption=18
client_w=$((WIDTH - 2 * frame)) client_h=$((HEIGHT - 2 * frame - caption))
xdotool mousemove --window "$main" $((frame + client_w * (116 + 47) / 427)) \
  $((frame + caption + client_h * (67 + 8) / 369)) click 1
start=$(date +%s)
verdict=$(timeout 120 xdotool search --sync --name '^ИНФОРМАЦИЯ$' | head -n 1) ||
  fail "no ИНФОРМАЦИЯ verdict after the write"
echo "ok   the write reached the ИНФОРМАЦИЯ verdict in $(($(date +%s) - start)) s"

if [ -n "$screenshot" ]; then
  sleep 1
  import -window root "$work/screen.png"
  convert "$work/screen.png" -trim +repage "$screenshot"
  echo "ok   $screenshot written"
fi

xdotool key --window "$verdict" Return
sleep 1
xdotool key --window "$main" Escape
for _ in $(seq 100); do pgrep -f 'tolvane.exe' >/dev/null || break; sleep 0.1; done
# A window that did not close ends with the Wine session, which saves the registry.
timeout 20 "$wineserver" -w >/dev/null 2>&1 || "$wineserver" -k >/dev/null 2>&1 || true

"$wine_run" reg query "$settings" /s >"$work/settings.txt" 2>&1 || fail "no settings in the registry"
tr -d '\r' <"$work/settings.txt" | grep -v '^$' | sed 's/^/    /'
tr -d '\r' <"$work/settings.txt" | grep -qE 'm_PortSelect_0 +REG_DWORD +0x5$' || fail "the remembered port is not COM5 as REG_DWORD"
tr -d '\r' <"$work/settings.txt" | grep -qE 'PATH +REG_SZ +Z:\\' || fail "the file's folder is not remembered as REG_SZ"
echo "ok   the settings are in the registry"
