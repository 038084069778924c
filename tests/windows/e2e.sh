#!/usr/bin/env bash
# tolvane-cli.exe end to end under Wine: the Linux build's `tolvane-cli sim`
# serves each simulated device on a pseudo-terminal, and COM5 of a Wine prefix
# of its own points at it, as a USB adapter's COM port would.
#
# Usage: tests/windows/e2e.sh LINUX_CLI WINDOWS_CLI EXAMPLE_HEX [INSTALLER]
# With INSTALLER, the installer is run silently first and the checks use the
# tolvane-cli.exe it installed; the ZIP beside it (same name, .zip) is checked
# to hold the same programs and the web page.
#   TOLVANE_E2E_WINEPREFIX  the Wine prefix (default ~/.cache/tolvane/wine-e2e)
set -euo pipefail
linux_cli=$(readlink -f "$1")
windows_cli=$(readlink -f "$2")
example=$(readlink -f "$3")
installer=${4:+$(readlink -f "$4")}
root=$(cd "$(dirname "$0")/../.." && pwd)
export TOLVANE_WINEPREFIX="${TOLVANE_E2E_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tolvane/wine-e2e}"
export WINEPREFIX="$TOLVANE_WINEPREFIX"
wine_run="$root/scripts/wine-run"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d)
sim_pid=""
failures=0

stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill -INT "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
finish() {
  stop_sim
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

# Wine's drive Z: is the root of this machine.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# A new simulated device (sim options as arguments) behind COM5.
start_sim() {
  stop_sim
  "$linux_cli" sim "$@" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  pts=$(head -n 1 "$work/sim.out")
  [ -c "$pts" ] || { echo "the simulated device did not start: $(cat "$work/sim.out")"; exit 1; }
  ln -sfn "$pts" "$WINEPREFIX/dosdevices/com5"
}

# check NAME EXPECTED_EXIT GREP_PATTERN COMMAND...: runs tolvane-cli.exe.
check() {
  local name=$1 expected=$2 pattern=$3
  shift 3
  local start code=0 ms
  start=$(date +%s%N)
  "$wine_run" "$windows_cli" "$@" >"$work/out" 2>&1 || code=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  if [ "$code" -ne "$expected" ] || ! grep -qE -- "$pattern" "$work/out"; then
    echo "FAIL $name: exit $code (expected $expected), output:"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  else
    printf 'ok   %-40s exit %d  %6d ms\n' "$name" "$code" "$ms"
  fi
}

# The prefix, with COM5 in the system's serial device map (where the port
# list finds it under Wine) pointing at the first device.
"$wine_run" cmd /c ver >/dev/null 2>&1
start_sim
"$wine_run" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$pts" /f >/dev/null 2>&1
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
ln -sfn "$pts" "$WINEPREFIX/dosdevices/com5"
"$wineserver" -p >/dev/null 2>&1 &

if [ -n "$installer" ]; then
  # A second run installs over the first, as an update does: the old
  # version's uninstaller runs first.
  target="$WINEPREFIX/drive_c/Tolvane"
  "$wine_run" "$installer" /S '/D=C:\Tolvane' >/dev/null 2>&1 || { echo "FAIL the installer failed"; exit 1; }
  for file in tolvane.exe tolvane-cli.exe Uninstall.exe Qt6Widgets.dll platforms/qwindows.dll examples/demo-firmware.hex \
    web/index.html; do
    [ -f "$target/$file" ] || { echo "FAIL the installer left no $file"; failures=$((failures + 1)); }
  done
  zip="${installer%.exe}.zip"
  zip_top=$(basename "$zip" .zip)
  unzip -Z1 "$zip" >"$work/zip.list" || { echo "FAIL no ZIP $zip beside the installer"; exit 1; }
  for file in tolvane.exe tolvane-cli.exe examples/demo-firmware.hex web/index.html; do
    grep -qxF "$zip_top/$file" "$work/zip.list" || { echo "FAIL the ZIP holds no $file"; failures=$((failures + 1)); }
  done
  echo "ok   ZIP: $(grep -cv '/$' "$work/zip.list") files, $(grep -c "^$zip_top/web/.*[^/]$" "$work/zip.list") of them in web"
  menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tolvane"
  for link in Tolvane.lnk Uninstall.lnk; do
    [ -f "$menu/$link" ] || { echo "FAIL the installer made no Start-menu entry $link"; failures=$((failures + 1)); }
  done
  echo "ok   installer: $(find "$target" -type f | wc -l) files in C:\Tolvane, $(ls "$menu" | wc -l) Start-menu entries"
  windows_cli="$target/tolvane-cli.exe"
fi

check "ports lists COM5" 0 '^COM5 ' ports
check "write + verify of the example" 0 'blocks sent: 1024, protected: 16' write --port COM5 "$(windows_path "$example")"

# A file the device does not hold: data at 0x0400 that differs.
printf ':020400001234B4\r\n:00000001FF\r\n' >"$work/other.hex"
check "verify of another file" 1 'ОШИБКА ВЕРИФИКАЦИИ|differ' verify --port COM5 "$(windows_path "$work/other.hex")"

rm -f "$WINEPREFIX/drive_c/back.hex"
check "read -o C:\\back.hex" 0 '' read --port COM5 -o 'C:\back.hex'
"$linux_cli" read --port "$pts" -o "$work/linux.hex" >/dev/null 2>&1
if cmp -s "$WINEPREFIX/drive_c/back.hex" "$work/linux.hex"; then
  echo "ok   C:\\back.hex is the device's flash as read on Linux"
else
  echo "FAIL C:\\back.hex differs from the device's flash as read on Linux"
  failures=$((failures + 1))
fi

for fault in no-answer wrong-answer short-reply; do
  start_sim --fault "$fault@3"
  check "$fault at the third command" 3 'ОШИБКА' write --port COM5 "$(windows_path "$example")"
done
stop_sim

check "a COM port that does not exist" 3 '^cannot open the port: .*COM9' write --port COM9 "$(windows_path "$example")"
if [ "$(wc -l <"$work/out")" -ne 1 ]; then
  echo "FAIL the missing port's message is not one line"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "Windows end-to-end: all passed" || echo "Windows end-to-end: $failures failed"
exit $((failures > 0))
