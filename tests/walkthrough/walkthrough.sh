#!/usr/bin/env bash
# The whole program as a person uses it: started from its own file with an
# empty data folder beside it, on a real X server, driven only by real key
# and mouse events. Afterwards the data folder and the exported files are read
# with tools that share no code with the program.
#
#   walkthrough.sh PROGRAM [SCREENSHOT_FOLDER]
#
# Needs: Xvfb, xdotool, xprop, ImageMagick (import), sqlite3, sqlcipher, unzip, python3.
# WALKTHROUGH_KEEP=1 keeps the program folder, its data and the exports.
set -euo pipefail

program=$(realpath "${1:?usage: walkthrough.sh PROGRAM [SCREENSHOT_FOLDER]}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/pelloran-walkthrough.XXXXXX")
shots=$(realpath -m "${2:-$work/screenshots}")

# ---------------------------------------------------------------- names used below
LOGIN=chief
FULL_NAME="Chief Planner"
PASSWORD='Orbit-7 kestrel'
PROJECT=Moonbase
FEATURE=Navigation
TASK1="Plot course"   # High, 4 hours, marked complete from the side panel
TASK2="Land softly"   # Normal, 2.5 hours, one hour worked, status edited
# The window is left at this size; the second run is at scale 2, so it comes
# back twice as large on the (1280x1024) screen.
WIN_W=620
WIN_H=480
TIMEOUT=40 # seconds any one wait may take (sanitizer build, busy machine)

# ---------------------------------------------------------------- plumbing
step_name="setting up"
shot_no=0
xvfb_pid=
app_pid=

log() { printf '[%3ds] %s\n' "$SECONDS" "$*"; }
step() {
    step_name=$*
    log "$step_name"
}

shot() {
    shot_no=$((shot_no + 1))
    local file
    file=$(printf '%s/%02d-%s.png' "$shots" "$shot_no" "$1")
    import -window root "$file" 2>/dev/null || true
    last_shot=$file
}

fail() {
    # Also reached in a $(...) subshell: the marker tells the main shell.
    touch "$work/failed"
    echo "WALKTHROUGH FAILED at step: $step_name" >&2
    echo "  $*" >&2
    [ -n "$xvfb_pid" ] && shot "failure"
    echo "  screenshots: $shots (last: ${last_shot:-none})" >&2
    echo "  program folder kept: $work/app" >&2
    if [ -s "$work/app.log" ]; then
        echo "  ---- program output (last 40 lines) ----" >&2
        tail -n 40 "$work/app.log" >&2
    fi
    keep_work=1
    exit 1
}

cleanup() {
    local rc=$?
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    [ -e "$work/failed" ] && keep_work=1
    if [ "$rc" -ne 0 ] && [ -z "${keep_work:-}" ]; then
        echo "WALKTHROUGH FAILED at step: $step_name (exit $rc)" >&2
        echo "  screenshots: $shots" >&2
        keep_work=1
    fi
    # The program folder is kept when something failed (or when asked to, with
    # WALKTHROUGH_KEEP=1), for a look at its data.
    if [ -z "${keep_work:-}" ] && [ -z "${WALKTHROUGH_KEEP:-}" ]; then
        rm -rf "$work"
    else
        echo "walkthrough: files kept in $work" >&2
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Repeats a command until it succeeds; fails the step after TIMEOUT seconds or
# as soon as the program has ended when it should still run.
wait_until() {
    local what=$1
    shift
    local deadline=$((SECONDS + TIMEOUT))
    until "$@" >/dev/null 2>&1; do
        if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then
            fail "the program ended while waiting for: $what"
        fi
        [ "$SECONDS" -ge "$deadline" ] && fail "timed out waiting for: $what"
        sleep 0.2
    done
}

# Ids of the visible windows whose title matches the regular expression,
# leaving out the ids listed in $2 (the splash and a message box share the
# main window's title, "Pelloran").
windows_named() {
    local ids
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null) || return 1
    if [ -n "${2:-}" ]; then
        ids=$(grep -vxF -f <(tr ' ' '\n' <<<"$2") <<<"$ids") || return 1
    fi
    [ -n "$ids" ] && echo "$ids"
}

# Waits for a visible window titled by the regex (and not among the ids in
# $2), gives it the keyboard focus (there is no window manager to do that)
# and prints its id.
window() {
    local id=
    wait_until "a window titled /$1/" windows_named "$1" "${2:-}"
    id=$(windows_named "$1" "${2:-}" | tail -n 1)
    focus "$id"
    echo "$id"
}

focus() {
    local deadline=$((SECONDS + TIMEOUT))
    until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; do
        xdotool windowfocus "$1" 2>/dev/null || true
        [ "$SECONDS" -ge "$deadline" ] && fail "window $1 does not take the focus"
        sleep 0.1
    done
}

# The title a window manager shows (_NET_WM_NAME) is the window's own title,
# exactly: nothing such as the program's name appended to it.
title_shown_is() {
    local got
    got=$(xprop -id "$1" _NET_WM_NAME 2>/dev/null) || fail "xprop cannot read the title of window $1"
    [ "$got" = "_NET_WM_NAME(UTF8_STRING) = \"$2\"" ] ||
        fail "window $1 is shown as ${got#*= } instead of \"$2\""
}

window_gone() { ! windows_named "$1" >/dev/null; }
id_gone() { ! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"; }
wait_gone() { wait_until "the window /$1/ to close" window_gone "$1"; }

keys() { xdotool key --clearmodifiers --delay 40 "$@"; }
type_text() { xdotool type --clearmodifiers --delay 20 -- "$1"; }

# One value from a table file of the data folder; the program may be writing
# at the same moment, so a busy file is simply asked again.
data=$work/app/Data
sql() { sqlite3 -batch -noheader -cmd '.timeout 5000' "$data/$1" "$2"; }
sql_is() {
    local got
    got=$(sql "$1" "$2" 2>/dev/null) || return 1
    [ "$got" = "$3" ]
}
wait_sql() { wait_until "$1: $3 = '$4'" sql_is "$2" "$3" "$4"; }

# Clicks the n-th item (from 0) of the side panel's Tasks group, found on a
# picture of the window as it is now.
click_panel_item() {
    local win=$1 index=$2 xy
    import -window "$win" -depth 8 "ppm:$work/window.ppm" 2>/dev/null
    xy=$(python3 "$here/screen.py" panel-item "$work/window.ppm" "$index") ||
        fail "side panel item $index not found on screen"
    # shellcheck disable=SC2086 # two numbers
    xdotool mousemove --window "$win" $xy click 1
}

# Clicks into the empty part of the task list, below its rows: the list takes
# the keyboard focus and keeps its focused row.
click_task_list_space() {
    local w h
    eval "$(xdotool getwindowgeometry --shell "$1")"
    w=$WIDTH h=$HEIGHT
    xdotool mousemove --window "$1" $((w * 6 / 10)) $((h * 6 / 10)) click 1
}

# start_program SCALE: the copied program on the X server, at that scale
# factor. Every sanitizer check stays on, leak checking too, with the test
# suite's list of leaks inside system libraries (fontconfig, xcb and the like)
# that are not ours.
start_program() {
    (
        cd "$work/app"
        QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$1 \
            ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
            LSAN_OPTIONS=suppressions=$here/../lsan.supp:print_suppressions=0 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            exec ./pelloran
    ) >>"$work/app.log" 2>&1 &
    app_pid=$!
}

program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_program_end() {
    local pid=$app_pid rc=0
    wait_until "the program to end" program_ended
    app_pid=
    wait "$pid" || rc=$?
    [ "$rc" -eq 0 ] || fail "the program ended with exit code $rc"
    if grep -qE 'ERROR: AddressSanitizer|runtime error:' "$work/app.log"; then
        fail "a sanitizer reported a fault (see the program output)"
    fi
}

# ---------------------------------------------------------------- set up
for tool in Xvfb xdotool xprop import sqlite3 sqlcipher unzip python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done
rm -rf "$shots"
mkdir -p "$shots" "$work/app" "$work/export"
log "screenshots: $shots"
# A fresh folder: the program's data folder "Data" beside it does not exist yet.
cp "$program" "$work/app/pelloran"

step "starting Xvfb"
# -displayfd: the server picks a free display itself and reports it when ready.
exec {dfd}>"$work/display"
Xvfb -displayfd "$dfd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {dfd}>&-
display_ready() { [ -s "$work/display" ] && grep -q '^[0-9]' "$work/display"; }
wait_until "Xvfb to report its display" display_ready
DISPLAY=:$(head -n 1 "$work/display")
export DISPLAY
unset WAYLAND_DISPLAY XAUTHORITY
log "display $DISPLAY"
# A neutral pointer position, away from every window.
xdotool mousemove 1275 1020

# ================================================================ first run
step "first start: the Getting Started wizard opens on the empty data folder"
start_program 1
wizard=$(window '^Getting Started Wizard')
title_shown_is "$wizard" "Getting Started Wizard"
windows_named '^Login' >/dev/null && fail "the login dialog is shown before the wizard"
shot "wizard-welcome"

step "wizard: administrator page"
keys Return # Next
keys ctrl+a
type_text "$LOGIN"
keys Tab ctrl+a
type_text "$FULL_NAME"
keys Tab
type_text "$PASSWORD"
keys Tab
type_text "$PASSWORD"
shot "wizard-admin"

step "wizard: first project"
keys Return # Next
type_text "$PROJECT"
shot "wizard-project"
keys Return # Next
shot "wizard-complete"
keys Return # Finish
wait_gone '^Getting Started Wizard'

step "login: a wrong password first"
login=$(window '^Login')
title_shown_is "$login" "Login"
splash=$(windows_named '^Pelloran$' || true) # behind the login
shot "login"
keys alt+u ctrl+a
type_text "$LOGIN"
keys alt+p ctrl+a
type_text "not the password"
keys Return
box=$(window '^Pelloran$' "$splash")
title_shown_is "$box" "Pelloran"
shot "login-refused"
keys Return # OK on "Invalid username or password."
wait_until "the message box to close" id_gone "$box"
focus "$login"

step "login: the right password, login name in other letter case"
keys alt+u ctrl+a
type_text "${LOGIN^^}"
keys alt+p ctrl+a
type_text "$PASSWORD"
keys Return
wait_gone '^Login'
main=$(window '^Pelloran$' "$splash")
title_shown_is "$main" "Pelloran"
shot "main-window"
python3 "$here/screen.py" has-panel <(import -window "$main" -depth 8 ppm:- 2>/dev/null) ||
    fail "the side panel is not shown"

step "task editor: first task, with a feature the project does not have yet"
keys Insert # Add Task
title_shown_is "$(window '^Add Task')" "Add Task"
type_text "$FEATURE" # the Feature box has the focus
keys Tab Tab         # past the "..." button to the task name
type_text "$TASK1"
keys Tab Up # Priority: Normal -> High
keys Tab ctrl+a
type_text 4 # Original estimate
shot "task1-filled"
keys Return # OK
title_shown_is "$(window '^Add new feature')" "Add new feature?"
shot "add-new-feature"
keys Return # Yes
wait_gone '^Add new feature'
wait_gone '^Add Task'
wait_sql "tasks stored" Tasks.db 'select count(*) from Tasks' 1
wait_sql "features stored" Features.db 'select group_concat(Name) from Features' "$FEATURE"
focus "$main"

step "task editor: second task in the same feature"
keys Insert
window '^Add Task' >/dev/null
type_text "$FEATURE"
keys Tab Tab
type_text "$TASK2"
keys Tab Tab ctrl+a
type_text 2.5
shot "task2-filled"
keys Return
wait_gone '^Add Task'
windows_named '^Add new feature' >/dev/null && fail "asked to add a feature the project has"
wait_sql "second task stored" Tasks.db 'select count(*) from Tasks' 2
focus "$main"
shot "two-tasks"

# Task IDs as stored, for the checks below.
id1=$(sql Tasks.db "select \"Task ID\" from Tasks where Name = '$TASK1'")
id2=$(sql Tasks.db "select \"Task ID\" from Tasks where Name = '$TASK2'")

step "side panel: work one hour on the new task (it has the focus)"
click_panel_item "$main" 1 # "Work 1 hour on this task"
wait_sql "one hour on '$TASK2'" Tasks.db "select \"Elapsed Time\" = 1 from Tasks where \"Task ID\" = $id2" 1
shot "hour-added"

step "task editor: change the status of '$TASK2' (Enter on its row)"
focus "$main"
click_task_list_space "$main"
keys End Return # Edit Task
window '^Edit Task' >/dev/null
keys alt+s Down # Status: Not Started -> In Development
shot "status-edited"
keys Return # OK
wait_gone '^Edit Task'
wait_sql "status of '$TASK2'" Tasks.db "select Status from Tasks where \"Task ID\" = $id2" "In Development"
focus "$main"

step "side panel: mark '$TASK1' complete"
keys Home # the first row: the High task sorts first
click_panel_item "$main" 2 # "Set this task as completed"
wait_sql "'$TASK1' complete" Tasks.db "select Status from Tasks where \"Task ID\" = $id1" Complete
shot "marked-complete"

step "task list: the history of '$TASK2' under its row"
keys Down Right # expand
shot "history-shown"

# File > Export > the n-th format, then the save dialog: the whole path typed
# into its file name box.
export_schedule() {
    local win=$1 menu_keys=$2 file=$3
    focus "$win"
    # shellcheck disable=SC2086 # a list of keys
    keys alt+f e $menu_keys
    window '^Save As' >/dev/null
    keys ctrl+a
    type_text "$file"
    shot "save-as-$(basename "$file")"
    keys Return
    wait_gone '^Save As'
    wait_until "$file to be written" test -s "$file"
}

step "export: File > Export > to Excel"
export_schedule "$main" Return "$work/export/schedule.xlsx" # the first item
step "export: File > Export > to HTML"
export_schedule "$main" h "$work/export/schedule.html"

step "options: another colour scheme for the grid"
focus "$main"
keys alt+t o # Tools > Options...
window '^Options' >/dev/null
keys Down # tree: View > Grid
keys alt+s Home Down # Grid style: the second scheme, "Desert"
shot "options-grid"
keys Return # OK
wait_gone '^Options'

step "options: hide the side panel"
focus "$main"
keys alt+t o
window '^Options' >/dev/null
keys Down Down # tree: View > SideBar
keys alt+b     # Show SideBar: off
sleep 0.5      # the mnemonic clicks the box after its short press animation
shot "options-sidebar"
keys Return
wait_gone '^Options'
panel_hidden() { ! python3 "$here/screen.py" has-panel <(import -window "$main" -depth 8 ppm:- 2>/dev/null); }
wait_until "the side panel to go" panel_hidden

step "window: resized to ${WIN_W}x${WIN_H}"
xdotool windowsize "$main" "$WIN_W" "$WIN_H"
window_size_is() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    [ "$WIDTH" -eq "$2" ] && [ "$HEIGHT" -eq "$3" ]
}
wait_until "the window to take its new size" window_size_is "$main" "$WIN_W" "$WIN_H"
shot "resized"

step "closing the window (File > Exit)"
focus "$main"
keys alt+f x
wait_program_end
windows_named . >/dev/null && fail "a window is left after the program ended"

# ================================================================ second run
step "second start at scale 2: straight to the login"
start_program 2
window '^Login' >/dev/null
windows_named '^Getting Started Wizard' >/dev/null && fail "the wizard opened again"
splash=$(windows_named '^Pelloran$' || true)
shot "login-scale2"
keys alt+u ctrl+a
type_text "$LOGIN"
keys alt+p ctrl+a
type_text "$PASSWORD"
keys Return
wait_gone '^Login'
main=$(window '^Pelloran$' "$splash")

step "kept settings: window size (twice as many pixels at scale 2) and no side panel"
wait_until "the window at its kept size" window_size_is "$main" $((WIN_W * 2)) $((WIN_H * 2))
panel_hidden || fail "the side panel is shown again"
focus "$main"
click_task_list_space "$main"
keys End Right # the history of the last task
shot "restart-scale2-history"
keep_shot=$last_shot

step "task editor at scale 2 (a look at its pictures), closed with Escape"
keys Home Return # the High task, with a priority picture
window '^Edit Task' >/dev/null
shot "edit-task-scale2"
keys Escape
wait_gone '^Edit Task'

step "export at scale 2: File > Export > to HTML"
export_schedule "$main" h "$work/export/schedule-again.html"

step "closing the window again"
focus "$main"
keys alt+f x
wait_program_end

# ================================================================ the data folder, read without the program
step "data folder: the five table files"
for t in Developers Projects Features Tasks History; do
    [ -s "$data/$t.db" ] || fail "$data/$t.db is missing"
done

expect() { # expect WHAT GOT WANTED
    [ "$2" = "$3" ] || fail "$1: got
$2
expected
$3"
}

step "data folder: the administrator (sqlcipher with the table password)"
if sqlite3 -batch "$data/Developers.db" 'select count(*) from Developers' >/dev/null 2>&1; then
    fail "Developers.db can be read without its key"
fi
users() {
    sqlcipher -batch -noheader -cmd "PRAGMA key='velvetquarry'" "$data/Developers.db" "$1"
}
expect "users" "$(users 'select LoginName, Name, IsAdmin from Developers')" "$LOGIN|$FULL_NAME|1"
expect "password kept only as an Argon2id hash" \
    "$(users "select Password like '\$argon2id\$%', instr(Password, '$PASSWORD') from Developers")" "1|0"
dev=$(users 'select "Developer ID" from Developers')
settings=$(users 'select "Other Settings" from Developers' | tr -d '\r')
for line in "Stylesheet=GridTableViewStyleSheetDesert" "SideBar=0" "Width=$WIN_W" "Height=$WIN_H"; do
    grep -qx "$line" <<<"$settings" || fail "kept settings lack '$line':
$settings"
done

step "data folder: project, feature and tasks (sqlite3)"
expect "projects" "$(sql Projects.db 'select "Project ID", Name, "Default Developer ID" from Projects')" \
    "1|$PROJECT|$dev"
expect "features" "$(sql Features.db 'select "Feature ID", "Project ID", Name from Features')" \
    "1|1|$FEATURE"
expect "tasks" "$(sql Tasks.db 'select "Task ID", "Feature ID", "Developer ID", Name, Priority,
        "Original Estimate", "Current Estimate", "Elapsed Time", Status from Tasks order by "Task ID"')" \
    "$id1|1|$dev|$TASK1|2|4.0|4.0|0.0|Complete
$id2|1|$dev|$TASK2|3|2.5|2.5|1.0|In Development"

step "data folder: the history lines (sqlite3)"
# CR and LF shown as \r and \n: the editor ends every change line with CR LF,
# the one-click actions write their single line without.
expect "history" "$(sql History.db "select \"Task ID\", \"User ID\", \"Action Description\",
        replace(replace(coalesce(\"Change Description\", ''), char(13), '\\r'), char(10), '\\n'),
        coalesce(\"Modified Datestamp\" glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:*', 0)
        from History order by \"Task History ID\"")" \
    "$id1|$dev|Task added by $FULL_NAME||0
$id2|$dev|Task added by $FULL_NAME||0
$id2|$dev|Modified by $FULL_NAME|Elapsed Time changed from 0 to 1|1
$id2|$dev|Modified by $FULL_NAME|Status changed from Not Started to In Development\\r\\n|1
$id1|$dev|Modified by $FULL_NAME|Status changed from Not Started to Complete|1"

# ================================================================ the exported files, read without the program
row1="Feature=$FEATURE|Task=$TASK1|Cur Est=4|Elapsed=0|Remain=4|Orig Est=4|Status=Complete|Developer=$FULL_NAME"
row2="Feature=$FEATURE|Task=$TASK2|Cur Est=2.5|Elapsed=1|Remain=1.5|Orig Est=2.5|Status=In Development|Developer=$FULL_NAME"
sums="sum:Cur Est=6.5|Elapsed=1|Remain=5.5|Orig Est=6.5"

step "export: the workbook (unzip and an XML reader)"
xlsx=$work/export/schedule.xlsx
unzip -tq "$xlsx" >/dev/null || fail "$xlsx is not a sound zip file"
unzip -p "$xlsx" xl/worksheets/sheet1.xml >"$work/sheet1.xml" || fail "no sheet in $xlsx"
unzip -p "$xlsx" xl/sharedStrings.xml >"$work/sharedStrings.xml" || fail "no shared strings in $xlsx"
# The priority column holds the number behind its picture.
python3 "$here/check_exports.py" xlsx "$work/sheet1.xml" "$work/sharedStrings.xml" \
    "$row1|!=2" "$row2|!=3" "$sums" || fail "the workbook does not hold the schedule"

step "export: the HTML page (python's html.parser)"
python3 "$here/check_exports.py" html "$work/export/schedule.html" "$row1" "$row2" "$sums" ||
    fail "the HTML page does not hold the schedule"
grep -qF "<title>Project: $PROJECT</title>" "$work/export/schedule.html" || fail "no page title"
python3 "$here/check_exports.py" same-table "$work/export/schedule.html" "$work/export/schedule-again.html" ||
    fail "the schedule after the restart differs from the one before"

step "done"
log "all steps passed in ${SECONDS}s; screenshots in $shots (scale 2: $keep_shot)"
