#!/usr/bin/env bash
# Runs installer-sim on every example under examples/ and compares the
# transcript with the one kept beside it (NAME.transcript). Run with
# --update to rewrite the kept transcripts after a deliberate change.
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
  actual="$(cd "$root" && "$sim" --profile "$profile" --script "$script" 2>&1)" || true
  if [[ $update -eq 1 ]]; then
    printf '%s\n' "$actual" >"$expected"
    echo "updated $name"
    continue
  fi
  if diff -u "$expected" <(printf '%s\n' "$actual"); then
    passed=$((passed + 1))
  else
    echo "example $name: transcript differs" >&2
    failed=$((failed + 1))
  fi
done
[[ $update -eq 1 ]] && exit 0
echo "examples: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
