#!/usr/bin/env bash
# Runs installer-sim on every example under examples/ and compares the
# transcript and the final machine state with the ones kept beside it
# (NAME.transcript, NAME.state.json). Run with --update to rewrite them
# after a deliberate change.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sim="$root/build/tools/installer-sim/installer-sim"
update=0
[[ "${1:-}" == "--update" ]] && update=1

passed=0
failed=0
for run in "$root"/examples/*.run; do
  name="$(basename "$run" .run)"
  # A .run file names the profile and the script, one per line.
  profile="$(sed -n 's/^profile: *//p' "$run")"
  script="$(sed -n 's/^script: *//p' "$run")"
  expected="$root/examples/$name.transcript"
  expected_state="$root/examples/$name.state.json"
  state="$(mktemp)"
  actual="$(cd "$root" && "$sim" --profile "$profile" --script "$script" --state "$state" 2>&1)" || true
  if [[ $update -eq 1 ]]; then
    printf '%s\n' "$actual" >"$expected"
    cp "$state" "$expected_state"
    rm -f "$state"
    echo "updated $name"
    continue
  fi
  if diff -u "$expected" <(printf '%s\n' "$actual") && diff -u "$expected_state" "$state"; then
    passed=$((passed + 1))
  else
    echo "example $name: transcript or final state differs" >&2
    failed=$((failed + 1))
  fi
  rm -f "$state"
done
[[ $update -eq 1 ]] && exit 0
echo "examples: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
