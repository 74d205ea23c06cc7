# Sourced by the bench scripts that take only [--runs N]:
#   source "$root/bench/runs.sh"; bench_runs DEFAULT "$@"
# sets runs to DEFAULT, to 1 in the quick pass (BENCH_QUICK=1: does it still work?), or to N.
bench_runs() {
  runs=$1
  shift
  [[ ${BENCH_QUICK:-} == 1 ]] && runs=1
  while [[ $# -gt 0 ]]; do
    case $1 in
      --runs) runs=$2; shift 2 ;;
      *) echo "usage: $0 [--runs N]" >&2; exit 2 ;;
    esac
  done
}

# bench_sim_work NAME: sim (the host build's installer-sim, which must be built) and work, a fresh
# $build/bench/NAME, for the scripts that drive installer-sim.
bench_sim_work() {
  sim=$build/tools/installer-sim/installer-sim
  [[ -f $sim ]] || { echo "error: $sim not built" >&2; exit 1; }
  work=$build/bench/$1
  rm -rf "$work"
  mkdir -p "$work"
}
