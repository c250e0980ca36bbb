#!/usr/bin/env bash
# Runs a test program the way someone with their own SQL Server would, with VAC_TEST_SERVER and
# VAC_TEST_LOGIN set, but pointing at a vac-standin process started for the purpose on a free port.
# Keeps the real-server path of the integration tests working.
# Usage: against_server.sh VAC_STANDIN TEST_PROGRAM [gtest arguments...]
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 VAC_STANDIN TEST_PROGRAM [arguments...]" >&2; exit 2; }
standin=$1
shift

work=$(mktemp -d)
standin_pid=""
cleanup() {
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "$*" >&2; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/standin.sh"
start_standin "$work/standin.out" "$standin"

VAC_TEST_SERVER="127.0.0.1,$port" VAC_TEST_LOGIN="sa:standin" "$@"

# The stand-in started with empty account tables; whatever the tests made must be gone again.
left=$(tsql -H 127.0.0.1 -p "$port" -U sa -P standin -o fhq 2>&1 <<'SQL'
SELECT 'user_auth', COUNT(*) FROM lin2db.dbo.user_auth
SELECT 'user_account', COUNT(*) FROM lin2db.dbo.user_account
SELECT 'builder_account', COUNT(*) FROM lin2world.dbo.builder_account
go
SQL
)
echo "$left" | grep -Eq '^user_auth[[:space:]]+0$' && echo "$left" | grep -Eq '^user_account[[:space:]]+0$' &&
  echo "$left" | grep -Eq '^builder_account[[:space:]]+0$' || { echo "rows left behind:" >&2; echo "$left" >&2; exit 1; }
