# Sourced by the screenshot scripts: a private port map, store and log
# folder for the session, and a simulated controller on COM9 that is
# stopped when the script ends. Usage: start_simulator ARGS... (karvo-sim's
# arguments after --com COM9); then wait_for_port.
home=$(mktemp -d)
export XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT

start_simulator() {
  build/tools/karvo-sim/karvo-sim --com COM9 "$@" >/dev/null &
  sim_pid=$!
}

# Waits up to 5 s for the simulator's COM9 link.
wait_for_port() {
  for _ in $(seq 50); do
    [ -L "$XDG_CONFIG_HOME/TalvikAS/Karvo/ports/COM9" ] && return 0
    sleep 0.1
  done
  return 1
}
