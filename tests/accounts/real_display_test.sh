#!/usr/bin/env bash
# The program on a real (virtual) X display, driven with real mouse clicks and key presses (xdotool)
# against a vac-standin process: creates a game-master account on "Create", then, after a restart (the
# list loads only when the "Edit" page is shown with the connection closed), finds it on "Edit" with a
# lookup and sets both block flags. The settings file beside a copy of the program points it at the
# stand-in. Checks the stand-in's tables with tsql and saves a screenshot of each page into the output
# folder.
# Usage: real_display_test.sh PROGRAM VAC_STANDIN OUTPUT_FOLDER
set -euo pipefail

if [ "${1:-}" != "--on-display" ]; then
  [ $# -eq 3 ] || { echo "usage: $0 PROGRAM VAC_STANDIN OUTPUT_FOLDER" >&2; exit 2; }
  program=$(realpath "$1")
  standin=$(realpath "$2")
  out=$(realpath -m "$3")
  mkdir -p "$out"
  exec xvfb-run --auto-servernum --server-args="-screen 0 640x480x24 -dpi 96" "$0" --on-display "$program" "$standin" "$out"
fi

program=$2
standin=$3
out=$4
export QT_QPA_PLATFORM=xcb

work=$(mktemp -d)
standin_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  import -window root "$out/real-display-failure.png" 2>/dev/null && echo "screen at the failure: $out/real-display-failure.png" >&2
  if [ -f "$work/batches.jsonl" ]; then
    echo "batches the stand-in received:" >&2
    cat "$work/batches.jsonl" >&2
  fi
  exit 1
}

# --- The stand-in, on a free loopback port, with a statement log.
source "$(dirname "${BASH_SOURCE[0]}")/../support/standin.sh"
start_standin "$work/standin.out" "$standin" --data "$work/tables.dat" --log "$work/batches.jsonl" --demo 20

sql() {
  tsql -H 127.0.0.1 -p "$port" -U sa -P standin -o q <<<"$1
go" 2>&1 | sed -e '/^locale/d' -e '/^Setting/d' -e '/^$/d'
}

# A copy of the program in the work folder, with its settings file beside it (program path + ".ini").
cp "$program" "$work/vantor-account-creator"
cat >"$work/vantor-account-creator.ini" <<INI
[Common]
SavePass=1
[DB Connection]
HostName=127.0.0.1,$port
User=sa
Password=standin
INI

# Positions inside the window's client area, in pixels at 96 DPI: the tab buttons, and the pages'
# controls at their laid-out places, below the row of tabs.
page_top=21
tab_create=(25 11)
tab_edit=(65 11)
tab_options=(110 11)

window=""
start_program() {
  (cd "$work" && exec ./vantor-account-creator) &
  program_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Vantor Account Creator \(vantoroff\)$' | head -n 1) ||
    fail "the main window did not appear within 30 s"
  [ -n "$window" ] || fail "the main window did not appear"
  # Without a window manager there is nothing to activate a window; giving it the focus is enough.
  timeout 10 xdotool windowactivate --sync "$window" 2>/dev/null ||
    timeout 10 xdotool windowfocus --sync "$window" || fail "the main window did not take the focus"
}

stop_program() {
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
}

click_at() {  # x y, relative to the window's client area
  xdotool mousemove --window "$window" "$1" "$2" click 1
  sleep 0.2
}
click_tab() { click_at "$1" "$2"; }
click_control() {  # left top of the control on its page, then a point inside it
  click_at $(( $1 + ${3:-10} )) $(( page_top + $2 + ${4:-8} ))
}
replace_text() {  # the field is focused: select everything and type over it
  xdotool key --window "$window" ctrl+a
  xdotool type --window "$window" --delay 20 "$1"
  sleep 0.2
}

# Waits until the stand-in has received a batch containing the text.
wait_for_batch() {
  for _ in $(seq 1 100); do
    grep -qF -- "$1" "$work/batches.jsonl" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the stand-in never received: $1"
}

# Waits until the window shows the same picture twice in a row, then saves it.
capture() {
  local file=$1 previous="" current
  for _ in $(seq 1 50); do
    current=$(import -window "$window" png:- | md5sum)
    [ "$current" = "$previous" ] && break
    previous=$current
    sleep 0.1
  done
  import -window "$window" "$file"
  echo "saved $file"
}

# The "Options" page as the settings file filled it.
show_options() {
  click_tab "${tab_options[@]}"
  capture "$out/real-display-options.png"
}

account=xdogm

# --- First run: create a game-master account of level 7.
start_program
show_options
click_tab "${tab_create[@]}"
click_control 76 9 60;  replace_text "$account"    # LoginEdit
click_control 76 34 60; replace_text "secret"      # PassEdit
click_control 12 74 6                              # GMCheck
# The level field takes no typed text: three presses of the Up key, three clicks on its up button.
click_control 160 72 12                            # GMLevelEdit
xdotool key --window "$window" --delay 50 Up Up Up
click_control 160 72 39 6; click_control 160 72 39 6; click_control 160 72 39 6
click_control 77 104 30 12                         # SubmitButton
wait_for_batch "INSERT INTO lin2world.dbo.builder_account VALUES ('$account',7,"
capture "$out/real-display-create.png"
stop_program

rows=$(sql "SELECT account_name, default_builder FROM lin2world.dbo.builder_account WHERE account_name = '$account'")
grep -Eq "^$account[[:space:]]+7$" <<<"$rows" || fail "no game-master row of level 7 for $account: $rows"
rows=$(sql "SELECT COUNT(*) FROM lin2db.dbo.user_auth WHERE account = '$account'")
grep -Eq "^1$" <<<"$rows" || fail "no login row for $account: $rows"

# --- Second run: find the account by part of its name and set both block flags.
start_program
click_tab "${tab_edit[@]}"
wait_for_batch "SELECT account FROM lin2db.dbo.user_auth"
click_control 12 10 40;  replace_text "dog"        # AccountsComboBox's text
click_control 144 10 30                            # LookupButton
wait_for_batch "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '$account'"
click_control 12 74 6                              # BannedCheck1
click_control 12 98 6                              # BannedCheck2
click_control 136 108 30 10                        # ApplyEditButton
wait_for_batch "UPDATE lin2db.dbo.user_account SET block_flag = 1,block_flag2 = 1 WHERE account = '$account'"
capture "$out/real-display-edit.png"
stop_program

rows=$(sql "SELECT block_flag, block_flag2 FROM lin2db.dbo.user_account WHERE account = '$account'")
grep -Eq "^1[[:space:]]+1$" <<<"$rows" || fail "block flags of $account are not 1 and 1: $rows"
# "GM Power" stayed checked at level 7, so "Apply" changed the level to the same value.
grep -qF "UPDATE lin2world.dbo.builder_account SET default_builder = 7 WHERE account_name = '$account'" \
  "$work/batches.jsonl" || fail "the game-master level was not written back"
rows=$(sql "SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = '$account'")
grep -Eq "^7$" <<<"$rows" || fail "the game-master level of $account changed: $rows"
# The stand-in offers encryption as a real server does: every login of the program went over TLS.
grep -qF '"encryption": "login"' "$work/batches.jsonl" || fail "no login of the program was encrypted"
if grep -F '"encryption"' "$work/batches.jsonl" | grep -vqF '"encryption": "login"'; then
  fail "a connection ran with another encryption than an encrypted login"
fi

echo "PASS: created $account as a level-7 game master and set both block flags through the real window"
