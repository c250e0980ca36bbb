#!/usr/bin/env bash
# Runs a command as an ordinary user: as the caller when it is one, as "nobody" under root, which
# may write every folder and so cannot see what a permission refuses. Under root the command gets a
# home, a runtime folder and a temporary folder of its own, all owned by that user.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  exec "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/runtime" "$work/tmp"
chmod 755 "$work"
chmod 700 "$work/home" "$work/runtime" "$work/tmp"
chown nobody:nogroup "$work/home" "$work/runtime" "$work/tmp"
setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups \
  env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp" "$@"
