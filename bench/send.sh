#!/usr/bin/env bash
# Sending speed: Tamberlyn's headless runs against Postfix's smtp-sink on 127.0.0.1, each beside
# smtp-source sending the same number of messages of the same size to the same sink, pairs
# alternating. Then the memory of a run over a 1,000,000-row list stopped with SIGINT after 20,000
# messages.
#
#   bench/send.sh [RECIPIENTS] [dkim]   (default 100000; bench/run builds the release program first;
#                                        "dkim" runs only the signing comparison)
set -euo pipefail
cd "$(dirname "$0")/.."
recipients=${1:-100000}
only=${2:-}
program=${TAMBERLYN_PROGRAM:-$PWD/build/release/tamberlyn}
port=${TAMBERLYN_BENCH_SINK_PORT:-2599}
work=$(mktemp -d /tmp/tamberlyn-send-bench.XXXXXX)
sink_pid=
cleanup() {
    [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

for tool in smtp-sink smtp-source; do
    command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin
    command -v "$tool" >/dev/null || { echo "$tool is missing (package postfix)" >&2; exit 1; }
done

start_sink() {
    local user=()
    [ "$(id -u)" -eq 0 ] && user=(-u nobody)
    smtp-sink "${user[@]}" 127.0.0.1:"$port" 512 &
    sink_pid=$!
    for _ in $(seq 1 100); do
        (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "smtp-sink did not start" >&2
    exit 1
}

# A list of n rows with ten mergeable columns, as a CSV file imported like a user would.
make_list() { # home name rows
    local csv=$work/$2.csv
    awk -v n="$3" 'BEGIN {
        print "Email,First,Last,Company,City,Country,Phone,Product,Since,Code"
        for (i = 1; i <= n; i++)
            printf "user%07d@example.test,Ann%d,Berg%d,Firm %d Ltd,Town%d,Country%d,+1 555 %07d,Widget %d,2020-01-%02d,C%d\n",
                   i, i, i, i % 977, i % 331, i % 57, i, i % 13, i % 28 + 1, i
    }' > "$csv"
    "$program" --home "$1" --yes import --type DBTEXTFILE --file "$csv" --email Email --first First \
        --last Last --keep Company,City,Country,Phone,Product,Since,Code --name "$2" >/dev/null
}

# Text of about size bytes: a paragraph repeated.
filler() { # size
    awk -v size="$1" 'BEGIN {
        p = "Our spring catalogue is out, with new colours and sizes for every room of the house. "
        while (length(s) < size) s = s p
        print substr(s, 1, size)
    }'
}

# A message; personal: ten merge fields, a personal greeting and a personal To (one copy per
# recipient); otherwise one text for all (batches).
make_message() { # home name size personal
    local fields="" type=2
    if [ "$4" = yes ]; then
        fields='<<FirstName>> <<LastName>> of <<Company>> in <<City>>, <<Country>> (<<Phone>>): your <<Product>> since <<Since>>, code <<Code>>, sent to <<EAddress>>.'
    fi
    local half=$(($3 / 2))
    printf '%s\n\n%s\n' "$fields" "$(filler "$half")" > "$work/text.txt"
    printf '<html><body><p>%s</p><p>%s</p></body></html>\n' "$fields" "$(filler "$half")" > "$work/page.html"
    "$program" --home "$1" message import --name "$2" --subject "Spring catalogue" --type "$type" \
        --text "$work/text.txt" --html "$work/page.html" >/dev/null
    if [ "$4" = yes ]; then
        sqlite3 "$1/system/Tamberlyn.tbf" "UPDATE Message SET UseGreetingManager = -1, GreetingType = 1,
            AddressType = 1, Salutation = 'Dear', UseFName = -1, UseLName = -1, Punctuation = ','
            WHERE MessageName = '$2'"
    else
        sqlite3 "$1/system/Tamberlyn.tbf" "UPDATE Message SET UseGreetingManager = 0, GreetingType = 0,
            AddressType = 0, GroupAddress = 'Our customers' WHERE MessageName = '$2'"
    fi
}

set_setting() { # home key value
    local ini=$1/Tamberlyn.ini
    if grep -q "^$2=" "$ini"; then
        sed -i "s|^$2=.*|$2=$3|" "$ini"
    else
        sed -i "/^\[ApplicationDefaults\]/a $2=$3" "$ini"
    fi
}

# A fresh application folder whose mailing 1 sends the list to the sink.
make_home() { # home rows size personal batch
    "$program" --home "$1" init >/dev/null
    set_setting "$1" MailServer 127.0.0.1
    set_setting "$1" SMTPPort "$port"
    set_setting "$1" GroupMailBlockSize "$5"
    set_setting "$1" WordWrapSize 76
    make_list "$1" Customers "$2"
    make_message "$1" Catalogue "$3" "$4"
    "$program" --home "$1" groups add Bench >/dev/null
    "$program" --home "$1" options set Fast From=news@example.test ReplyTo= SmtpServer=127.0.0.1 \
        bSendInBlocks=False bInsertTimeDelay=False bTimedBlocks=False bFlagSends=True SentFlag=SENT >/dev/null
    "$program" --home "$1" mailing create --group Bench --list Customers --message Catalogue --options Fast
}

seconds() { # command...: wall seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

rate() { # count seconds
    awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / s }'
}

start_sink
[ "$only" = dkim ] || printf '%-44s %12s %12s %8s\n' "run ($recipients recipients)" "Tamberlyn/s" "smtp-source/s" "ratio"
[ "$only" = dkim ] || for mode in "per-recipient 1 KB:1024:yes:1" "per-recipient 20 KB:20480:yes:1" "batches of 10:1024:no:10" \
    "batches of 50:1024:no:50"; do
    IFS=: read -r label size personal batch <<<"$mode"
    home=$work/home-$batch-$size
    id=$(make_home "$home" "$recipients" "$size" "$personal" "$batch")
    ours=$(seconds "$program" --home "$home" --yes send "$id" --quiet)
    # smtp-source sends bodies as long as the message the run assembled (as its send log reports).
    message_size=$(grep -a '^\*\*\* Message Size:' "$home/sendlog.log" | tail -1 | tr -dc 0-9)
    theirs=$(seconds smtp-source -d -s 1 -r "$batch" -m $((recipients / batch)) -l "$message_size" \
        -f news@example.test -t user@example.test -N 127.0.0.1:"$port")
    ours_rate=$(rate $((recipients / batch)) "$ours")
    theirs_rate=$(rate $((recipients / batch)) "$theirs")
    printf '%-44s %12s %12s %8.2f\n' "$label, $message_size bytes (messages/s)" "$ours_rate" "$theirs_rate" \
        "$(awk -v a="$ours_rate" -v b="$theirs_rate" 'BEGIN { print a / b }')"
    rm -rf "$home"
done

# DKIM: per-recipient 1 KB copies unsigned, signed with Ed25519 and with RSA 2048, one after the other
# in the same run (target: Ed25519 at least 0.7 x unsigned).
dkim_recipients=${TAMBERLYN_BENCH_DKIM_RECIPIENTS:-$((recipients / 5))}
printf '%-44s %12s %12s %8s\n' "DKIM ($dkim_recipients recipients)" "signed/s" "unsigned/s" "ratio"
declare -A dkim_seconds
for sign in none ed25519 rsa; do
    home=$work/home-dkim-$sign
    id=$(make_home "$home" "$dkim_recipients" 1024 yes 1)
    if [ "$sign" != none ]; then
        "$program" dkim keygen --domain example.test --selector s1 --type "$sign" --out "$work/$sign.pem" >/dev/null
        "$program" --home "$home" options set Fast DKIMDomain=example.test DKIMSelector=s1 \
            DKIMKeyFile="$work/$sign.pem" >/dev/null
    fi
    dkim_seconds[$sign]=$(seconds "$program" --home "$home" --yes send "$id" --quiet)
    rm -rf "$home"
done
unsigned_rate=$(rate "$dkim_recipients" "${dkim_seconds[none]}")
for sign in ed25519 rsa; do
    signed_rate=$(rate "$dkim_recipients" "${dkim_seconds[$sign]}")
    printf '%-44s %12s %12s %8.2f   %.3f ms per signature\n' "DKIM $sign, per-recipient 1 KB (messages/s)" \
        "$signed_rate" "$unsigned_rate" "$(awk -v a="$signed_rate" -v b="$unsigned_rate" 'BEGIN { print a / b }')" \
        "$(awk -v s="${dkim_seconds[$sign]}" -v u="${dkim_seconds[none]}" -v n="$dkim_recipients" \
            'BEGIN { print (s - u) * 1000 / n }')"
done
echo "(target: ed25519 at least 0.70 x unsigned)"
[ "$only" = dkim ] && exit 0

# Memory: 1,000,000 rows, SIGINT after 20,000 messages.
home=$work/home-memory
id=$(make_home "$home" 1000000 1024 yes 1)
/usr/bin/time -f '%M' -o "$work/peak" "$program" --home "$home" --yes send "$id" > "$work/out" &
runner=$!
while [ "$(grep -c " To: " "$work/out" 2>/dev/null || true)" -lt 20000 ]; do sleep 0.2; done
pkill -INT -P "$runner" -x tamberlyn || kill -INT "$runner"
wait "$runner" || true
echo "1,000,000-row list, stopped after 20,000 messages: peak $(($(tail -1 "$work/peak") / 1024)) MB"
