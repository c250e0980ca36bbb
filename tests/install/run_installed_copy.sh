#!/usr/bin/env bash
# An installed copy of the program at work, as an operator without write access to its folder uses
# it: on a virtual X display with a window manager, against a vac-standin process, with no settings
# file yet. Fills in the "Options" page, creates an account on "Create", closes the window with the
# window manager's close request, then checks that the account reached the stand-in and that the
# settings went to ${XDG_CONFIG_HOME:-~/.config}/vantor-account-creator/ with mode 0600 and nowhere
# beside the program.
# Runs the program as an ordinary user: when started as root it drops to "nobody", otherwise it makes
# the program's folder unwritable for the duration (and restores it).
# Usage: run_installed_copy.sh PROGRAM VAC_STANDIN WORK_FOLDER
#   WORK_FOLDER (created by the caller) receives home/, the test user's home, which stays for the
#   caller to check after the run.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${out:-}" ] && [ -f "$out/failure.png" ]; then echo "screen at the failure: $out/failure.png" >&2; fi
  if [ -f "${work:-/nonexistent}/batches.jsonl" ]; then
    echo "batches the stand-in received:" >&2
    cat "$work/batches.jsonl" >&2
  fi
  exit 1
}

# --- The part on the display, run as the test user.
if [ "${1:-}" = "--on-display" ]; then
  program=$2 port=$3 work=$4 out=$4
  export QT_QPA_PLATFORM=xcb
  window_manager="" program_pid=""
  finish() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    [ -z "$window_manager" ] || kill "$window_manager" 2>/dev/null || true
    wait 2>/dev/null || true
  }
  trap finish EXIT
  fail_on_display() {
    import -window root "$out/failure.png" 2>/dev/null || true
    fail "$@"
  }

  # The window manager delivers the close request as a desktop does when the operator closes the window.
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  window_manager=$!
  for _ in $(seq 1 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
  wmctrl -m >/dev/null 2>&1 || fail_on_display "the window manager did not start: $(cat "$work/openbox.log")"

  "$program" &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Vantor Account Creator \(vantoroff\)$' | head -n 1) ||
    fail_on_display "the main window did not appear within 30 s"
  timeout 10 xdotool windowactivate --sync "$window" || fail_on_display "the main window did not take the focus"

  # Positions inside the window's client area at 96 DPI: the tabs, then the pages' controls at their
  # laid-out places below the row of tabs.
  page_top=21
  click_at() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.2; }
  click_control() { click_at $(( $1 + ${3:-10} )) $(( page_top + $2 + ${4:-8} )); }
  type_text() { xdotool type --window "$window" --delay 20 "$1"; sleep 0.2; }
  wait_for_batch() {
    for _ in $(seq 1 100); do
      grep -qF -- "$1" "$work/batches.jsonl" 2>/dev/null && return 0
      sleep 0.1
    done
    fail_on_display "the stand-in never received: $1"
  }

  click_at 110 11                                       # "Options"
  click_control 89 7 40;  type_text "127.0.0.1,$port"   # DBHostEdit
  click_control 89 31 40; type_text "sa"                # DBLoginEdit
  click_control 89 55 40; type_text "standin"           # DBPassEdit
  click_control 16 100 6                                # SavePassCheckBox: on
  click_at 25 11                                        # "Create"
  click_control 76 9 60;  type_text "installed1"        # LoginEdit
  click_control 76 34 60; type_text "secret"            # PassEdit
  click_control 77 104 30 12                            # SubmitButton
  wait_for_batch "INSERT INTO lin2db.dbo.user_account VALUES ('installed1',"

  wmctrl -i -c "$window" || fail_on_display "the window manager refused to close the window"
  for _ in $(seq 1 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program_pid" 2>/dev/null && fail_on_display "the program was still running 10 s after its window was closed"
  status=0
  wait "$program_pid" || status=$?
  program_pid=""
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
  exit 0
fi

[ $# -eq 3 ] || { echo "usage: $0 PROGRAM VAC_STANDIN WORK_FOLDER" >&2; exit 2; }
program=$(realpath "$1")
standin=$(realpath "$2")
work=$(realpath "$3")
folder=$(dirname "$program")
home="$work/home"
runtime="$work/runtime"
mkdir -p "$home" "$runtime"
chmod 755 "$work"
chmod 700 "$home" "$runtime"
# The display part runs from the work folder: the test user may not be able to read the source tree.
cp "$0" "$work/run_installed_copy.sh"

restore_folder=""
standin_pid=""
cleanup() {
  [ -z "$standin_pid" ] || kill "$standin_pid" 2>/dev/null || true
  [ -z "$restore_folder" ] || chmod u+w "$restore_folder"
  wait 2>/dev/null || true
}
trap cleanup EXIT

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  # Root may write every folder; an operator may not. The program runs as "nobody".
  user_id=$(id -u nobody) group_id=$(id -g nobody)
  chown "$user_id:$group_id" "$home" "$runtime" "$work"
  as_user=(setpriv --reuid="$user_id" --regid="$group_id" --clear-groups)
elif [ -w "$folder" ]; then
  chmod u-w "$folder"
  restore_folder=$folder
  [ -w "$folder" ] && fail "cannot make $folder unwritable for the test"
fi

# --- The stand-in, on a free loopback port, with a statement log.
source "$(dirname "${BASH_SOURCE[0]}")/../support/standin.sh"
start_standin "$work/standin.out" "$standin" --data "$work/tables.dat" --log "$work/batches.jsonl" --demo 5

beside="$folder/vantor-account-creator.ini"
[ -e "$beside" ] && fail "a settings file is already beside the program: $beside"

# A clean environment: no XDG_CONFIG_HOME, so the settings go to ~/.config.
"${as_user[@]}" env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
  timeout 120 xvfb-run --auto-servernum --server-args="-screen 0 640x480x24 -dpi 96" \
  bash "$work/run_installed_copy.sh" --on-display "$program" "$port" "$work" ||
  fail "the program's run on the display failed"

settings="$home/.config/vantor-account-creator/vantor-account-creator.ini"
[ -f "$settings" ] || fail "no settings file at $settings; the home folder holds: $(find "$home" -name '*.ini')"
[ -e "$beside" ] && fail "the settings were written beside the program: $beside"
mode=$(stat -c %a "$settings")
[ "$mode" = 600 ] || fail "$settings has mode $mode, not 600"
mode=$(stat -c %a "$(dirname "$settings")")
[ "$mode" = 700 ] || fail "$(dirname "$settings") has mode $mode, not 700"
for line in "SavePass=1" "HostName=127.0.0.1,$port" "User=sa" "Password=standin"; do
  grep -qxF "$line" "$settings" || fail "$settings lacks \"$line\": $(cat "$settings")"
done

rows=$(tsql -H 127.0.0.1 -p "$port" -U sa -P standin -o q 2>&1 <<<"SELECT COUNT(*) FROM lin2db.dbo.user_auth WHERE account = 'installed1'
go")
grep -Eq "^1$" <<<"$rows" || fail "the stand-in has no login row for installed1: $rows"

echo "PASS: $program created an account and kept its settings in $settings (mode 600)"
