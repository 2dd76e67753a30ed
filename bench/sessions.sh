#!/usr/bin/env bash
# Parallel sessions over a slow relay: per-recipient 1 KB messages to `tamberlyn outbox --delay MS`
# (every reply waits MS milliseconds, as a distant relay's do) with 1, 2, 4, 8 and 16 sessions, each beside
# `smtp-source -s N` sending the same number of messages of the same size to the same outbox. Then the
# peak memory of a 16-session run over a 1,000,000-row list stopped with SIGINT after 20,000 messages.
#
#   bench/sessions.sh [RECIPIENTS] [DELAY_MS] [speed]   (default 20000 and 20; "speed" leaves out the memory
#                                                       run; bench/run builds the release program first)
set -euo pipefail
cd "$(dirname "$0")/.."
recipients=${1:-20000}
delay=${2:-20}
program=${TAMBERLYN_PROGRAM:-$PWD/build/release/tamberlyn}
port=${TAMBERLYN_BENCH_OUTBOX_PORT:-2598}
work=$(mktemp -d /tmp/tamberlyn-sessions-bench.XXXXXX)
outbox_pid=
cleanup() {
    [ -n "$outbox_pid" ] && kill "$outbox_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

command -v smtp-source >/dev/null || PATH=$PATH:/usr/sbin
command -v smtp-source >/dev/null || { echo "smtp-source is missing (package postfix)" >&2; exit 1; }

"$program" outbox --port "$port" --dir "$work/outbox" --delay "$delay" >/dev/null &
outbox_pid=$!
for _ in $(seq 1 100); do
    (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
    sleep 0.05
done

set_setting() { # home key value
    local ini=$1/Tamberlyn.ini
    if grep -q "^$2=" "$ini"; then
        sed -i "s|^$2=.*|$2=$3|" "$ini"
    else
        sed -i "/^\[ApplicationDefaults\]/a $2=$3" "$ini"
    fi
}

make_home() { # home rows
    local home=$1 csv=$work/list.csv
    "$program" --home "$home" init >/dev/null
    set_setting "$home" MailServer 127.0.0.1
    set_setting "$home" SMTPPort "$port"
    set_setting "$home" WordWrapSize 76
    awk -v n="$2" 'BEGIN { print "Email,First"; for (i = 1; i <= n; i++) printf "user%07d@example.test,Ann%d\n", i, i }' >"$csv"
    "$program" --home "$home" --yes import --type DBTEXTFILE --file "$csv" --email Email --first First \
        --name Customers >/dev/null
    awk 'BEGIN { s = "Hello <<FirstName>>, our spring catalogue is out. "; while (length(s) < 1000) s = s "More news for the house. "; print s }' >"$work/text.txt"
    "$program" --home "$home" message import --name Catalogue --subject "Spring catalogue" --type 0 \
        --text "$work/text.txt" >/dev/null
    "$program" --home "$home" groups add Bench >/dev/null
    "$program" --home "$home" options set Fast From=news@example.test ReplyTo= SmtpServer=127.0.0.1 \
        bSendInBlocks=False bInsertTimeDelay=False bTimedBlocks=False bFlagSends=True SentFlag=SENT >/dev/null
    "$program" --home "$home" mailing create --group Bench --list Customers --message Catalogue --options Fast
}

seconds() { # command...: wall seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

home=$work/home
id=$(make_home "$home" "$recipients")
printf '%-36s %12s %12s %8s %10s\n' "sessions ($recipients recipients, ${delay} ms)" "Tamberlyn/s" "smtp-source/s" "ratio" "speed-up"
single=
for n in 1 2 4 8 16; do
    "$program" --home "$home" options set Fast Connections="$n" >/dev/null
    ours=$(seconds "$program" --home "$home" --yes send "$id" --quiet)
    size=$(grep -a '^\*\*\* Message Size:' "$home/sendlog.log" | tail -1 | tr -dc 0-9)
    theirs=$(seconds smtp-source -s "$n" -m "$recipients" -l "$size" -f news@example.test -t user@example.test \
        127.0.0.1:"$port")
    find "$work/outbox" -type f -delete
    ours_rate=$(awk -v n="$recipients" -v s="$ours" 'BEGIN { printf "%.1f", n / s }')
    theirs_rate=$(awk -v n="$recipients" -v s="$theirs" 'BEGIN { printf "%.1f", n / s }')
    single=${single:-$ours_rate}
    printf '%-36s %12s %12s %8.2f %9.2fx\n' "$n session(s), $size bytes (messages/s)" "$ours_rate" "$theirs_rate" \
        "$(awk -v a="$ours_rate" -v b="$theirs_rate" 'BEGIN { print a / b }')" \
        "$(awk -v a="$ours_rate" -v b="$single" 'BEGIN { print a / b }')"
done
echo "(target: speed-up at least 0.8 x sessions up to 8)"
[ "${3:-}" = speed ] && exit 0

# Memory: 16 sessions over 1,000,000 rows, SIGINT after 20,000 messages.
home=$work/home-memory
id=$(make_home "$home" 1000000)
"$program" --home "$home" options set Fast Connections=16 >/dev/null
/usr/bin/time -f '%M' -o "$work/peak" "$program" --home "$home" --yes send "$id" >"$work/out" &
runner=$!
while [ "$(grep -c " To: " "$work/out" 2>/dev/null || true)" -lt 20000 ]; do sleep 0.2; done
pkill -INT -P "$runner" -x tamberlyn || kill -INT "$runner"
wait "$runner" || true
echo "1,000,000-row list, 16 sessions, stopped after 20,000 messages: peak $(($(tail -1 "$work/peak") / 1024)) MB (target under 150 MB)"
