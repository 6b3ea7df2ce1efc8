#!/usr/bin/env bash
# scripts/run started in the background by another script (its SIGINT
# ignored, as a non-interactive shell does for background jobs), then
# Ctrl-C at the terminal (SIGINT to the whole process group): the program is
# asked to close (SIGTERM) and ends, then the simulator is stopped, and the
# script ends. Stand-ins replace the program, the simulator and the probe.
set -euo pipefail
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/program" <<'STANDIN'
#!/usr/bin/env bash
trap 'echo "program: closed on TERM" >>"$KARVO_TEST_LOG"; exit 0' TERM
trap 'echo "program: INT" >>"$KARVO_TEST_LOG"' INT
echo "program: started" >>"$KARVO_TEST_LOG"
while :; do sleep 0.05; done
STANDIN
cat >"$work/sim" <<'STANDIN'
#!/usr/bin/env bash
trap 'echo "sim: stopped" >>"$KARVO_TEST_LOG"; exit 0' TERM
while :; do sleep 0.05; done
STANDIN
printf '#!/bin/sh\nexit 0\n' >"$work/probe"
chmod +x "$work/program" "$work/sim" "$work/probe"
export KARVO_TEST_LOG="$work/log" KARVO_RUN_PROGRAM="$work/program" KARVO_RUN_SIM="$work/sim" \
  KARVO_RUN_PROBE="$work/probe" DISPLAY=:99
unset KARVO_RUN_SIGNALS
: >"$KARVO_TEST_LOG"

# Another script, in a session of its own, starts scripts/run in the
# background and waits for it.
setsid bash -c '"$1"/scripts/run >/dev/null & wait $!; echo "outer: run ended" >>"$KARVO_TEST_LOG"' outer "$repo" &
outer=$!
for _ in $(seq 200); do
  grep -q "program: started" "$KARVO_TEST_LOG" && break
  sleep 0.05
done
grep -q "program: started" "$KARVO_TEST_LOG" || { echo "the program did not start"; exit 1; }
# Ctrl-C: SIGINT to the process group.
kill -INT -- "-$outer"
for _ in $(seq 200); do
  grep -q "outer: run ended" "$KARVO_TEST_LOG" && break
  sleep 0.05
done
expected=$'program: started\nprogram: closed on TERM\nsim: stopped\nouter: run ended'
actual=$(grep -v "program: INT" "$KARVO_TEST_LOG")
if [ "$actual" != "$expected" ]; then
  echo "expected:"; echo "$expected"; echo "got:"; cat "$KARVO_TEST_LOG"
  kill -KILL -- "-$outer" 2>/dev/null || true
  exit 1
fi
echo "scripts/run closed the program and then the simulator"
