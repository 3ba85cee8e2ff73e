#!/usr/bin/env bash
# Drives the installed window program as a person would, on a virtual X screen with a window
# manager, through the keyboard alone: the first start with its language picker, the German
# language, Browse for the picture and for the part file (in the file dialogs), Preview,
# Convert, the "saved" message, and closing the window. Then starts it again, which must show
# no picker. Needs Xvfb, openbox and xdotool; exits 77 where they are missing.
#   drive_window.sh MOSAIKON HOME PICTURE [RUN_AS...]
# MOSAIKON is the installed program, HOME the user's (empty) home, PICTURE a picture in it;
# RUN_AS a command prefix that runs the program as that user (setpriv ...).
set -euo pipefail
program=$1
home=$2
picture=$3
shift 3
run_as=("$@")
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done

log=$(mktemp)
number=$(mktemp)
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -f "$log" "$number"
}
trap finish EXIT
# Xvfb picks a free display itself and writes its number.
Xvfb -displayfd 3 -ac -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
[ -s "$number" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=:$(head -1 "$number")
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

fail() {
    echo "window test: $*" >&2
    cat "$log" >&2
    if [ -n "${MOSAIKON_SCREENSHOT:-}" ] && command -v import >/dev/null; then
        import -window root "$MOSAIKON_SCREENSHOT" 2>/dev/null || true
    fi
    exit 1
}
start() {
    env -i HOME="$home" PATH=/usr/bin:/bin DISPLAY="$display" LANG=C.UTF-8 \
        "${run_as[@]}" "$program" >>"$log" 2>&1 &
    window_pid=$!
    pids+=("$window_pid")
}
# Waits until a window whose title matches is shown, and gives it the keyboard.
window() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -1) ||
        fail "no window \"$1\""
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
    sleep 0.5
    echo "$id"
}
keys() {
    xdotool key --delay 80 "$@"
    sleep 0.7
}
typed() {
    xdotool type --delay 20 "$1"
    sleep 0.3
}
wait_for() {  # a shell test, for up to 20 seconds
    for _ in $(seq 100); do eval "$1" && return 0; sleep 0.2; done
    fail "waited in vain for: $1"
}

[ ! -e "$home/w1.dat" ] || fail "$home/w1.dat is there before the test"
# First start: the picker asks; German is typed into it and chosen with Enter.
start
window "Select Language" >/dev/null
keys ctrl+a
typed Deutsch
keys Return
main=$(window "Bitmap in LDRAW-Aufkleber umwandeln")
# Browse for the picture (Alt+D, "&Durchsuchen"): its path typed into the file dialog.
keys alt+d
window "^Open$" >/dev/null
typed "$picture"
keys Return
wait_for "[ -z \"\$(xdotool search --onlyvisible --name '^Open$' 2>/dev/null)\" ]"
# Browse for the part file (Alt+U, "D&urchsuchen").
xdotool windowactivate --sync "$main" 2>/dev/null || true
keys alt+u
window "^Save$" >/dev/null
typed "$home/w1.dat"
keys Return
xdotool windowactivate --sync "$main" 2>/dev/null || true
# Preview (Alt+V), then the quick conversion (Alt+C), and Enter on the "saved" message.
keys alt+v
keys alt+c
wait_for "[ -s '$home/w1.dat' ]"
keys Return
# Close the window; the program ends and keeps the choices.
xdotool windowactivate --sync "$main" 2>/dev/null || true
keys alt+F4
wait_for "! kill -0 $window_pid 2>/dev/null"
config=$home/.config/mosaikon/config.txt
grep -q "<language>Deutsch<language>" "$config" || fail "the language is not kept: $(cat "$config")"
grep -q "<image>$picture<image>" "$config" || fail "the picture is not kept: $(cat "$config")"
grep -q "^0 Name: w1.dat" "$home/w1.dat" || fail "the sticker is not written"

# Second start: no picker, straight to the German window.
start
main=$(window "Bitmap in LDRAW-Aufkleber umwandeln")
[ -z "$(xdotool search --onlyvisible --name "Select Language" 2>/dev/null)" ] ||
    fail "the picker asked again"
keys alt+F4
wait_for "! kill -0 $window_pid 2>/dev/null"
echo "window: first start, language, browse, preview, convert and close passed"
