#!/usr/bin/env bash
# Kills Korvex with SIGKILL at random moments while it starts (compaction
# included), searches all at once and replaces all, and checks the work
# database after every kill: SQLite finds it intact, no stored row is lost,
# every sheet whose rows were committed has all of them and the sheet being
# written has a whole prefix of them, and the next start goes through (a stale
# compaction copy or WAL does not stop it). Then two ends that are not kills:
# exit() from inside the event loop and a start without a display must end
# with their exit codes, not with a crash.
#
# Usage: kill_runs.sh <build folder> [kills=3]
set -euo pipefail
build=$(cd "$1" && pwd)
kills=${2:-3}
sheets=${KORVEX_KILL_SHEETS:-12}
per_sheet=${KORVEX_KILL_HITS:-150}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private copy of the program folder; the driver takes the program's name so
# that it uses the copy's korvex.mdb.
mkdir "$work/bin"
cp -r "$build/bin/." "$work/bin/"
rm -f "$work/bin/korvex.ini" "$work/bin/korvex.grx" "$work/bin/korvex.prn"
cp "$build/tests/run_all_driver" "$work/bin/korvex"
db="$work/bin/korvex.mdb"

fixture="$work/many.kvx"
{
    echo "[book 多数.xlsx]"
    echo "active"
    for s in $(seq -w 1 "$sheets"); do
        echo "[sheet S$s]"
        for r in $(seq 1 "$per_sheet"); do echo "A$r = 売上$r"; done
        echo "B1 = 対象外"
    done
} >"$fixture"
export KORVEX_HOST="sim:$fixture"

fail() { echo "FAIL: $*" >&2; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
query() { sqlite3 -batch -noheader "$1" "$2"; }

# What SQLite sees, read from a copy so that the next start still meets the
# files exactly as the kill left them.
snapshot() {
    rm -rf "$work/snap"; mkdir "$work/snap"
    cp "$db" "$work/snap/k.mdb"
    [ -e "$db-wal" ] && cp "$db-wal" "$work/snap/k.mdb-wal"
    [ -e "$db-shm" ] && cp "$db-shm" "$work/snap/k.mdb-shm"
    echo "$work/snap/k.mdb"
}

# The rows a run added after the first <skip> rows of <table> must come sheet
# by sheet in tab order, each sheet whole except the last one, no cell twice.
check_rows() {
    local file=$1 table=$2 skip=$3 complete=$4
    query "$file" "select sheet || ' ' || \"range\" from $table order by rowid limit -1 offset $skip;" |
        awk -v per="$per_sheet" -v sheets="$sheets" -v complete="$complete" -v t="$table" '
        { if ($1 != cur) { if (cur != "" && n != per) { print t ": sheet " cur " has " n " of " per " rows"; bad=1 }
                           want = sprintf("S%0" length(sheets) "d", ++k)
                           if ($1 != want) { print t ": sheet " $1 " where " want " was due"; bad=1 }
                           cur = $1; n = 0 }
          if (seen[$0]++) { print t ": " $0 " stored twice"; bad=1 }
          n++ }
        END { if (complete && (k != sheets || n != per)) { print t ": run incomplete (" k " sheets)"; bad=1 }
              if (cur != "" && n > per) { print t ": sheet " cur " has " n " rows"; bad=1 }
              exit bad }' || fail "rows of the interrupted run are not whole"
}

count() { query "$1" "select count(*) from $2;"; }

run_once() { # <log>: starts Korvex in the background, sets $pid
    "$work/bin/korvex" 売上 済 >"$1" 2>"$1.err" &
    pid=$!
}

# A full run first: the reference for timing and for a complete set of rows.
t0=$(now_ms)
run_once "$work/ref.log"
search_at=""
while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$search_at" ] && grep -q '^phase search' "$work/ref.log"; then search_at=$(( $(now_ms) - t0 )); fi
    sleep 0.005
done
wait "$pid" || fail "an uninterrupted run failed: $(cat "$work/ref.log.err")"
total_ms=$(( $(now_ms) - t0 ))
[ -n "$search_at" ] || search_at=$total_ms
grep -q '^phase done' "$work/ref.log" || fail "the uninterrupted run did not finish"
snap=$(snapshot)
check_rows "$snap" w_sort 0 1
check_rows "$snap" w_replace 0 1
echo "reference run: ${total_ms} ms, searching from ${search_at} ms, $(count "$snap" w_sort) + $(count "$snap" w_replace) rows"

declare -A killed_in=()
for i in $(seq 1 "$kills"); do
    snap=$(snapshot)
    [ "$(query "$snap" 'pragma integrity_check;')" = ok ] || fail "database damaged before kill $i"
    sort_before=$(count "$snap" w_sort)
    replace_before=$(count "$snap" w_replace)
    # Every third kill aims at the start-up (compaction), the rest anywhere in
    # the run (its last quarter left out: a loaded machine may finish sooner).
    if (( i % 3 == 1 )); then span=$(( search_at + 1 )); else span=$(( total_ms * 3 / 4 + 1 )); fi
    delay=$(( RANDOM * 32768 + RANDOM ))
    delay=$(( delay % span ))
    run_once "$work/run$i.log"
    sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
    kill -KILL "$pid" 2>/dev/null || true
    status=0; { wait "$pid"; } 2>/dev/null || status=$?
    where=$(grep '^phase ' "$work/run$i.log" | tail -n1 | cut -d' ' -f2 || true)
    where=${where:-launch}
    if (( status != 137 )); then
        [ "$where" = done ] && (( status == 0 )) || fail "run $i ended on its own with $status: $(cat "$work/run$i.log.err")"
        where="after-end"
    fi
    killed_in[$where]=$(( ${killed_in[$where]:-0} + 1 ))

    snap=$(snapshot)
    [ "$(query "$snap" 'pragma integrity_check;')" = ok ] || fail "integrity check failed after kill $i ($where)"
    sort_after=$(count "$snap" w_sort)
    replace_after=$(count "$snap" w_replace)
    (( sort_after >= sort_before && replace_after >= replace_before )) ||
        fail "rows lost after kill $i ($where): $sort_before→$sort_after, $replace_before→$replace_after"
    check_rows "$snap" w_sort "$sort_before" 0
    check_rows "$snap" w_replace "$replace_before" 0
    echo "kill $i after ${delay} ms ($where): ok, w_sort +$((sort_after - sort_before)), w_replace +$((replace_after - replace_before))"
done

# The start after the last kill must go through and finish a whole run.
snap=$(snapshot)
sort_before=$(count "$snap" w_sort)
replace_before=$(count "$snap" w_replace)
run_once "$work/final.log"
wait "$pid" || fail "the start after the kills failed: $(cat "$work/final.log.err")"
grep -q '^phase done' "$work/final.log" || fail "the start after the kills did not finish"
snap=$(snapshot)
[ "$(query "$snap" 'pragma integrity_check;')" = ok ] || fail "integrity check failed after the final run"
check_rows "$snap" w_sort "$sort_before" 1
check_rows "$snap" w_replace "$replace_before" 1
# Ending from inside the event loop (what Qt does when the display server dies)
# with the work database open must be an orderly exit, not a crash.
status=0; "$work/bin/korvex" 売上 済 --exit >"$work/exit.log" 2>&1 || status=$?
(( status == 3 )) || fail "exit from the event loop ended with $status: $(tail -n3 "$work/exit.log")"
# No display to reach: a failed start with a message, not an abort.
status=0; QT_QPA_PLATFORM=xcb DISPLAY=:4999 "$build/bin/korvex" >"$work/nodisplay.log" 2>&1 || status=$?
(( status == 1 )) || fail "start without a display ended with $status: $(tail -n3 "$work/nodisplay.log")"

summary=""
for k in "${!killed_in[@]}"; do summary+=" $k=${killed_in[$k]}"; done
echo "PASS: $kills/$kills kills survived;${summary}"
