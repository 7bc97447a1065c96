#!/usr/bin/env bash
# first_run_test.sh WRENFOLD, inside scripts/desktop-session (openbox: no tray of its own). Starts
# the real program three ways; xdotool and a separate AT-SPI client see what it shows.
set -uo pipefail
wrenfold=$1 work=$(mktemp -d) pid="" tray="" failures=0
trap 'kill $pid $tray 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# launch FOLDER: starts Wrenfold on that data folder; $shown is the current tab and the guide
# of its settings window, read over AT-SPI.
launch() {
  XDG_DATA_HOME="$work/$1" "$wrenfold" >"$work/$1.log" 2>&1 &
  pid=$!
  timeout 20 xdotool search --sync --name '^Wrenfold 设置$' >/dev/null || { shown="(no window)"; return; }
  sleep 1
  shown=$(/usr/bin/python3 -c '
import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi
def walk(n):
    yield n
    for i in range(n.get_child_count()): yield from walk(n.get_child_at_index(i))
for n in walk(Atspi.get_desktop(0)):
    on = n.get_state_set().contains
    if n.get_role() == Atspi.Role.PAGE_TAB_LIST: print("tab:" + n.get_name())  # Qt names it after the current tab
    if n.get_name() == "使用提示" and on(Atspi.StateType.SHOWING): print(n.get_description())')
}
stop() { kill "$pid"; wait "$pid" 2>/dev/null; }

(umask 077 && mkdir -p "$work/configured/Wrenfold" &&
  echo '{"provider":"openAICompatible","baseURL":"http://127.0.0.1:9/v1","model":"qwen2.5","apiKey":"本地"}' \
    >"$work/configured/Wrenfold/config.json")

trayer --SetDockType true & tray=$!
timeout 10 bash -c 'until xdotool search --class trayer; do sleep 0.2; done' >/dev/null
launch fresh  # a fresh data folder with a tray: "模型" and the first-run guide alone
[[ $shown == *"tab:模型"* && $shown == *"不需要 Key"* && $shown != *"没有系统托盘"* ]] || fail "first run: $shown"
stop
XDG_DATA_HOME="$work/configured" "$wrenfold" >"$work/tray.log" 2>&1 & pid=$!
sleep 4  # set up, with a tray: Wrenfold stays in the tray
! xdotool search --name '^Wrenfold 设置$' >/dev/null || fail "set up, with a tray: the settings window opened"
stop
kill "$tray" && wait "$tray" 2>/dev/null
launch configured  # no tray: the window opens, and says how to reach it again
[[ $shown == *"tab:模型"* && $shown == *"wrenfold settings"* && $shown != *"欢迎使用"* ]] || fail "no tray: $shown"
stop
echo "$((failures == 0)) passed, $((failures != 0)) failed"
[ "$failures" -eq 0 ]
