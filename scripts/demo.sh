#!/usr/bin/env bash
# The sending demo: a fresh application folder with the sample data, a local outbox that keeps every
# message as a file, and sample mailing 1 sent to it from the command line.
# Usage: scripts/demo.sh PROGRAM
set -euo pipefail
program=$1
demo=$(mktemp -d "${TMPDIR:-/tmp}/tamberlyn-demo.XXXXXX")
home=$demo/home
outbox_dir=$demo/outbox

"$program" --home "$home" init --sample >/dev/null

"$program" outbox --port 0 --dir "$outbox_dir" >"$demo/outbox.log" 2>&1 &
outbox_pid=$!
trap 'kill "$outbox_pid" 2>/dev/null || true; wait "$outbox_pid" 2>/dev/null || true' EXIT
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^Outbox listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$demo/outbox.log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "The outbox did not start:" >&2; cat "$demo/outbox.log" >&2; exit 1; }

# Point the settings at the outbox: the delivery options name no server of their own, so the
# MailServer setting is used.
sed -i -e "s/^MailServer=.*/MailServer=127.0.0.1/" -e "s/^SMTPPort=.*/SMTPPort=$port/" "$home/Tamberlyn.ini"
"$program" --home "$home" options set "Default Delivery Options" SmtpServer= From=news@example.test >/dev/null

echo "Sending sample mailing 1 to the outbox on 127.0.0.1:$port ..."
"$program" --home "$home" send 1 --quiet
echo
echo "Captured messages ($(ls "$outbox_dir"/*.eml | wc -l)) in $outbox_dir:"
ls "$outbox_dir"
echo "Send log: $home/sendlog.log"
