#!/usr/bin/env bash
# The steps of the Wine stage; tests/wine/CMakeLists.txt runs each as a
# ctest line.
#
#   prefix         create the private Wine prefix, or start the one there
#   sim-start      start karvo-sim and map its pseudo-terminal into the
#                  prefix as the COM port KARVO_SIM_COM
#   sim-stop       stop that simulator and remove the mapping
#   run PROGRAM    run one Windows test program under Wine
#   tools DIR      karvo-reg.exe next to reg.exe, and karvo-probe.exe against
#                  the simulator (DIR: the tools folder of the Windows build)
#
# Environment (ctest sets it): KARVO_WINE, KARVO_WINESERVER (the programs),
# WINEPREFIX, KARVO_WINE_STATE (the simulator's folder), KARVO_SIM_EXE, and
# what the Windows tests learn about the simulator: KARVO_SIM_COM,
# KARVO_SIM_ADDRESS, KARVO_SIM_START_TEMP (tests/HarnessSim.h).
set -euo pipefail

# Quiet, without a display, without the Mono and Gecko installers, and
# without menu entries on the user's desktop.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

state=$KARVO_WINE_STATE
ready_mark=$WINEPREFIX/.karvo-ready
sim_pid_file=$state/sim.pid
com_link=$WINEPREFIX/dosdevices/$(printf '%s' "$KARVO_SIM_COM" | tr 'A-Z' 'a-z')
ports_key='HKLM\Software\Wine\Ports'

wine() { "$KARVO_WINE" "$@"; }
# Console output of Windows programs, with the CR of each line ending dropped.
wine_text() { "$KARVO_WINE" "$@" | tr -d '\r'; }
wineserver() { "$KARVO_WINESERVER" "$@"; }
stop_wineserver() {
  wineserver -k 2>/dev/null || true
  wineserver -w
}

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
expect() {  # expect WHAT EXPECTED ACTUAL
  [ "$3" = "$2" ] || fail "$1: expected \"$2\", got \"$3\""
  echo "ok: $1"
}

make_prefix() {
  if [ -f "$ready_mark" ]; then
    local start
    start=$(now)
    wine cmd /c exit
    echo "Wine prefix $WINEPREFIX reused, started in $(seconds_since "$start") s"
    return
  fi
  # No mark: new, or a first start that did not finish. Start from nothing.
  if [ -d "$WINEPREFIX" ]; then
    stop_wineserver
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  local start
  start=$(now)
  wine wineboot.exe -i
  stop_wineserver
  touch "$ready_mark"
  echo "Wine prefix $WINEPREFIX created, first start took $(seconds_since "$start") s"
}

# Stops the simulator this harness started, found by its pid file; a pid
# that no longer belongs to that program is left alone.
stop_sim() {
  [ -f "$sim_pid_file" ] || return 0
  local pid program
  pid=$(cat "$sim_pid_file")
  program=$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1 || true)
  if [ -n "$pid" ] && [ "$program" = "$KARVO_SIM_EXE" ]; then
    kill -TERM "$pid" 2>/dev/null || true
    local deadline=$((SECONDS + 10))
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
      echo "karvo-sim (pid $pid) did not stop on SIGTERM; killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$sim_pid_file"
}

start_sim() {
  stop_sim  # one left over by an interrupted run
  mkdir -p "$state/config"
  # The simulator also links its port into the program's port map folder;
  # a config folder of its own keeps that out of the user's.
  XDG_CONFIG_HOME=$state/config setsid "$KARVO_SIM_EXE" --com "$KARVO_SIM_COM" \
    --address "$KARVO_SIM_ADDRESS" --start-temp "$KARVO_SIM_START_TEMP" --seed 1 \
    </dev/null >"$state/sim.out" 2>"$state/sim.err" &
  local pid=$!
  echo "$pid" >"$sim_pid_file"
  local deadline=$((SECONDS + 20))
  until grep -q '^Simulated controller on ' "$state/sim.out"; do
    kill -0 "$pid" 2>/dev/null || fail "karvo-sim ended at start: $(cat "$state/sim.err")"
    [ $SECONDS -lt $deadline ] || fail "karvo-sim did not report its port within 20 s"
    sleep 0.1
  done
  local device
  device=$(sed -n 's/^Simulated controller on [^ ]* (\(.*\))$/\1/p' "$state/sim.out")
  [ -c "$device" ] || fail "karvo-sim reports \"$device\", which is no terminal device"

  # A link in dosdevices makes the pseudo-terminal a COM port of the prefix.
  # Registered among the prefix's ports as well, it is kept there and Wine
  # lists it in HARDWARE\DEVICEMAP\SERIALCOMM from the next start of the
  # prefix on; the restart comes at once.
  ln -sfn "$device" "$com_link"
  wine reg add "$ports_key" /v "$KARVO_SIM_COM" /t REG_SZ /d "$device" /f >/dev/null
  stop_wineserver
  wine_text reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' | grep -E "REG_SZ +$KARVO_SIM_COM\$" ||
    fail "Wine does not list $KARVO_SIM_COM in HARDWARE\\DEVICEMAP\\SERIALCOMM"
  [ "$(readlink "$com_link")" = "$device" ] || fail "$com_link does not point at $device"
  echo "karvo-sim (pid $pid) serves $KARVO_SIM_COM on $device, address $KARVO_SIM_ADDRESS"
}

remove_sim() {
  stop_sim
  wine reg delete "$ports_key" /v "$KARVO_SIM_COM" /f >/dev/null 2>&1 || true
  rm -f "$com_link"
  stop_wineserver
  echo "karvo-sim stopped, $KARVO_SIM_COM removed from the prefix"
}

# A program that ran no test at all passes in gtest's eyes ("0 tests",
# exit 0); here it fails.
run_program() {
  local program=$1
  [ -f "$program" ] || fail "no Windows test program $program (build the Windows configuration first)"
  echo "wine $program, simulator on $KARVO_SIM_COM"
  local output
  output=$state/$(basename "$program").out
  mkdir -p "$state"
  wine_text "$program" --gtest_color=no | tee "$output"
  grep -Eq '^\[==========\] [1-9][0-9]* tests? from .* ran\.' "$output" || fail "$program ran no test"
}

check_tools() {
  local karvo_reg=$1/karvo-reg/karvo-reg.exe probe=$1/karvo-probe/karvo-probe.exe
  # The hold signal as another program gives it with Windows' reg.exe ...
  wine reg add 'HKCU\Software\TalvikAS\Karvo' /v FW_Furnace1 /t REG_SZ /d "Sample 4 measuring" /f >/dev/null
  expect "karvo-reg.exe reads what reg.exe wrote" "Sample 4 measuring" "$(wine_text "$karvo_reg" get FW_Furnace1)"
  # ... and with karvo-reg.exe, a string value to reg.exe.
  wine "$karvo_reg" set FW_Furnace1 0
  expect "reg.exe reads what karvo-reg.exe wrote" "FW_Furnace1 REG_SZ 0" \
    "$(wine_text reg query 'HKCU\Software\TalvikAS\Karvo' /v FW_Furnace1 | grep FW_Furnace1 | xargs)"
  expect "karvo-reg.exe list" "FW_Furnace1=0" "$(wine_text "$karvo_reg" list | grep '^FW_Furnace1=')"

  expect "karvo-probe.exe test" "Echo test passed at address $KARVO_SIM_ADDRESS" \
    "$(wine_text "$probe" "$KARVO_SIM_COM" test "$KARVO_SIM_ADDRESS")"
  expect "karvo-probe.exe read" "2 $KARVO_SIM_START_TEMP" \
    "$(wine_text "$probe" "$KARVO_SIM_COM" read 2 1 "$KARVO_SIM_ADDRESS")"
}

case "${1:-}" in
  prefix) make_prefix ;;
  sim-start) start_sim ;;
  sim-stop) remove_sim ;;
  run) run_program "$2" ;;
  tools) check_tools "$2" ;;
  *)
    echo "usage: $0 prefix | sim-start | sim-stop | run PROGRAM | tools DIR" >&2
    exit 2
    ;;
esac
