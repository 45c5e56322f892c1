# Sourced by the benchmark scripts: where the machine has two cores or more, every responder
# runs on core 0 and every client on core 1, so that the peers compared side by side share the
# same placement and the scheduler's choice of cores does not differ from run to run. Used as a
# command prefix (taskset execs, so $! is the program's own pid); empty on one core.
responder_core=(); client_core=()
if [ "$(nproc)" -ge 2 ]; then responder_core=(taskset -c 0); client_core=(taskset -c 1); fi
