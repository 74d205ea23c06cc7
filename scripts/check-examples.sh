#!/usr/bin/env bash
# Runs installer-sim on every example under examples/ and compares the
# transcript and the final machine state with the ones kept beside it
# (NAME.transcript, NAME.state.json). Run with --update to rewrite them
# after a deliberate change.
#
# Usage: check-examples.sh [--update] [BUILD_DIR]   (BUILD_DIR: build/)
# The runs use BUILD_DIR's installer-sim and sample packages, through a
# working folder shaped like the source tree, so a sanitizer build is
# checked against its own packages. CTest runs this as the test "examples".
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
update=0
if [[ "${1:-}" == "--update" ]]; then
  update=1
  shift
fi
build="$(cd "${1:-$root/build}" && pwd)"
sim="$build/tools/installer-sim/installer-sim"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$root/profiles" "$work/profiles"
ln -s "$root/examples" "$work/examples"
mkdir -p "$work/build"
# Every package the build makes (the sample, its code page 936 copy).
for package in "$build"/sample*/; do
  ln -s "${package%/}" "$work/build/$(basename "$package")"
done

passed=0
failed=0
for run in "$root"/examples/*.run; do
  name="$(basename "$run" .run)"
  # A .run file names the profile and the script, one per line.
  profile="$(sed -n 's/^profile: *//p' "$run")"
  script="$(sed -n 's/^script: *//p' "$run")"
  expected="$root/examples/$name.transcript"
  expected_state="$root/examples/$name.state.json"
  state="$work/$name.state.json"
  actual="$(cd "$work" && "$sim" --profile "$profile" --script "$script" --state "$state" 2>&1)" || true
  if [[ $update -eq 1 ]]; then
    printf '%s\n' "$actual" >"$expected"
    cp "$state" "$expected_state"
    echo "updated $name"
    continue
  fi
  if diff -u "$expected" <(printf '%s\n' "$actual") && diff -u "$expected_state" "$state"; then
    passed=$((passed + 1))
  else
    echo "example $name: transcript or final state differs" >&2
    failed=$((failed + 1))
  fi
done
[[ $update -eq 1 ]] && exit 0
echo "examples: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
