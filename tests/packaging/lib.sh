# Helpers of the packaging tests: a scratch folder removed at exit, and checks that count.
set -uo pipefail
src="$1"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/halvernic-packaging-test.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() {  # <what> <expected> <actual>
  [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}
finish() {
  if [ "$failures" -ne 0 ]; then echo "$failures failed" >&2; exit 1; fi
  echo "all passed"
}
