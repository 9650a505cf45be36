#!/usr/bin/env bash
# The window as a person uses it, with no test seam: start the program with a folder on its
# command line, press Start with the keyboard, save the log through the File menu, close the
# window, then compare the log and the settings file with what they must hold.
# Usage (inside an X display, e.g. under xvfb-run): run_window.sh <folder of the built program>
# [JOBS]; with JOBS the settings file asks for that many files tested at once, else the program
# starts for the first time and chooses.
set -euo pipefail
bin="$(cd "$1" && pwd)"
jobs="${2:-}"
work="$(mktemp -d)"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/archives" "$work/home" "$work/config"
(
    cd "$work/archives"
    printf 'good content\n' > readme.txt
    zip -q -X good.zip readme.txt
    printf 'not an archive\n' > broken.zip
    rm readme.txt
)
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" LC_ALL=C.UTF-8 LANGUAGE=ja
ini="$work/config/varnelt/varnelt.ini"
if [ -n "$jobs" ]; then
    mkdir -p "$(dirname "$ini")"
    printf '[Option]\nJobs=%s\n[Archive]\nLHA=1\nZIP=1\n' "$jobs" > "$ini"
fi

# Waits until a window whose name matches $1 is mapped, and gives it the keyboard.
focus_window() {
    local id=""
    for _ in $(seq 1 100); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 || true)"
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "no window named $1" >&2; exit 1; }
    xdotool windowfocus --sync "$id"
    sleep 0.3
}

"$bin/varnelt" "$work/archives" &
pid=$!
focus_window '^Varnelt$'

xdotool key alt+s                      # 実行(&S)

# The File menu opens only once the run is over; a slow machine just takes more tries.
saving=""
for _ in $(seq 1 30); do
    sleep 1
    xdotool key alt+f                  # ファイル(&F)
    sleep 0.3
    xdotool key a                      # 名前をつけてログの保存(&A)
    sleep 0.5
    if xdotool search --onlyvisible --name 'ファイルを保存' >/dev/null 2>&1; then
        saving=yes
        break
    fi
    xdotool key Escape                 # a menu that opened without its item
done
[ -n "$saving" ] || { echo "the save dialog never opened" >&2; exit 1; }
focus_window 'ファイルを保存'
xdotool type --delay 20 "$work/result"
xdotool key Return
focus_window '完了'                    # ログを保存しました
xdotool key Return
focus_window '^Varnelt$'
xdotool key alt+f
sleep 0.3
xdotool key x                          # 終了(&X)
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the window did not close" >&2
    exit 1
fi
wait "$pid" || true
pid=""

log="$work/result.log"
[ -f "$log" ] || { echo "no log was saved" >&2; exit 1; }
folder="$work/archives/"
expected_broken="\"broken.zip\",\"$folder\",\"15\","
expected_good="\"good.zip\",\"$folder\","
grep -q "^\"ファイル名\",\"フォルダ名\",\"サイズ\",\"更新日時\",\"検査結果\"$(printf '\r')\$" "$log"
grep -q "^$expected_broken\".*\",\"破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ\"$(printf '\r')\$" "$log"
grep -q "^$expected_good\"[0-9]*\",\".*\",\"正常な書庫ﾌｧｲﾙ\"$(printf '\r')\$" "$log"
[ "$(wc -l < "$log")" -eq 3 ]

[ -f "$ini" ] || { echo "no settings file was written" >&2; exit 1; }
grep -q '^ZIP=1$' "$ini"
grep -q '^BadNoFileSumValue=2$' "$ini"
grep -q "^Jobs=${jobs:-Auto}\$" "$ini"
[ "$(grep -c '=' "$ini")" -eq 29 ]
echo "1 passed, 0 failed"
