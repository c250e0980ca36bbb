#!/usr/bin/env bash
# The package's maintainer scripts and the FreeTDS registration with unixODBC, run against a private
# odbcinst.ini (ODBCSYSINI) so the machine's own is never touched. Each case: what odbcinst.ini holds
# before, what it must hold after the installation (postinst) and after the removal (prerm).
# Usage: odbc_registration_test.sh FOLDER_WITH_POSTINST_AND_PRERM
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 FOLDER_WITH_POSTINST_AND_PRERM" >&2; exit 2; }
scripts=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ODBCSYSINI="$work"
ini="$work/odbcinst.ini"
failures=0
fail() { echo "FAIL [$case]: $*" >&2; failures=$((failures + 1)); }

ours=$(sed -n 's/^Description=//p' "$scripts/postinst")
[ -n "$ours" ] || { echo "FAIL: postinst writes no Description" >&2; exit 1; }

# Another party's registration: an administrator's, or tdsodbc's own template.
others='[FreeTDS]
Description=TDS driver (Sybase/MS SQL)
Driver=libtdsodbc.so
UsageCount=1
'

entry() { local text; text=$(odbcinst -q -d -n FreeTDS 2>/dev/null) && printf "%s\n" "$text"; return 0; }
usage_count() { entry | sed -n 's/^UsageCount=//p'; }
run() { sh -e "$scripts/$1" "$2" || fail "$1 $2 failed"; }

# --- Nothing registered: postinst registers the driver, the removal takes it back.
case="not registered"
: >"$ini"
run postinst configure
grep -qx "Description=$ours" <<<"$(entry)" || fail "postinst did not register FreeTDS: $(cat "$ini")"
grep -q "^Driver=/.*/libtdsodbc.so$" <<<"$(entry)" || fail "the registration names no driver file: $(entry)"
[ -f "$(entry | sed -n 's/^Driver=//p')" ] || fail "the registered driver file does not exist: $(entry)"
run postinst configure
[ "$(usage_count)" = 1 ] || fail "a second configure registered the driver again: $(entry)"
run prerm upgrade
grep -q . <<<"$(entry)" || fail "an upgrade took the registration away"
run prerm remove
grep -q . <<<"$(entry)" && fail "the removal left the package's own registration: $(cat "$ini")"

# --- Registered by someone else before: neither installation nor removal changes a byte.
case="registered by another"
printf '%s' "$others" >"$ini"
cp "$ini" "$work/before"
run postinst configure
cmp -s "$ini" "$work/before" || fail "postinst changed another's registration: $(cat "$ini")"
run prerm remove
cmp -s "$ini" "$work/before" || fail "the removal changed another's registration: $(cat "$ini")"

# --- Registered by the package, then by another party too: the removal leaves it registered.
case="then used by another"
: >"$ini"
run postinst configure
printf '%s' "$others" >"$work/others.ini"
odbcinst -i -d -f "$work/others.ini" >/dev/null
run prerm remove
grep -qx "Description=TDS driver (Sybase/MS SQL)" <<<"$(entry)" || fail "the removal took away a driver another uses: $(cat "$ini")"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: the FreeTDS registration is made only when missing and taken back only when it is the package's own"
