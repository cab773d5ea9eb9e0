#!/usr/bin/env bash
# Load benchmark of the standalone form-mail receiver with wrk on loopback: prints requests
# per second and latency, then checks that nothing was lost: the Maildir holds exactly as many
# mails as the server gave success answers. wrk stops reading when its time is up, so the
# posts still in flight then (at most one per connection) were answered and stored but not
# counted by wrk: its count may fall short of the server's by up to CONNECTIONS.
# Exits 1 when the counts break either rule.
#
#   bench/formmail/formmail_bench.sh [SECONDS] [CONNECTIONS] [THREADS]
#   VANTREL_FORMMAIL=path/to/vantrel-formmail   (default: build/bin/vantrel-formmail)
#   WORK_DIR=folder for the Maildir             (default: a new folder under $TMPDIR or /tmp)
#
# Build the server without sanitizers for meaningful figures. Every stored mail is flushed
# to disk (file and folder), so the figures depend on the disk under WORK_DIR.
set -euo pipefail
cd "$(dirname "$0")/../.."

DURATION=${1:-10}
CONNECTIONS=${2:-8}
THREADS=${3:-2}
SERVER=$(realpath "${VANTREL_FORMMAIL:-build/bin/vantrel-formmail}")
SCRIPT=$(realpath bench/formmail/post.lua)
command -v wrk >/dev/null || { echo "formmail_bench: wrk is missing (apt-get install wrk)" >&2; exit 1; }
[ -x "$SERVER" ] || { echo "formmail_bench: no server at $SERVER" >&2; exit 1; }

WORK=${WORK_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/formmail-bench.XXXXXX")}
mkdir -p "$WORK"
cat >"$WORK/formmail.conf" <<CONF
[formmail]
allow = info@example.org
sender = formmail@example.org
maildir = $WORK/Maildir
rate_per_minute = 0
CONF

"$SERVER" --listen 127.0.0.1:0 --config "$WORK/formmail.conf" >"$WORK/server.out" 2>"$WORK/server.err" &
SERVER_PID=$!
trap 'kill "$SERVER_PID" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q "lauscht auf" "$WORK/server.out" 2>/dev/null && break
  sleep 0.05
done
PORT=$(sed -n 's/.*lauscht auf 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/server.out")
[ -n "$PORT" ] || { echo "formmail_bench: the server did not start:" >&2; cat "$WORK/server.err" >&2; exit 1; }

echo "== wrk: $DURATION s, $CONNECTIONS connections, $THREADS threads, against 127.0.0.1:$PORT"
echo "   Maildir: $WORK/Maildir ($(df -PT "$WORK" | awk 'NR==2 {print $2}'))"
wrk -t "$THREADS" -c "$CONNECTIONS" -d "${DURATION}s" --latency -s "$SCRIPT" \
  "http://127.0.0.1:$PORT/cgi-bin/sendmailform.cgi" | tee "$WORK/wrk.txt"

# Stop the server first: every answered post has been stored by then.
kill "$SERVER_PID"
wait "$SERVER_PID" 2>/dev/null || true
trap - EXIT

SEEN=$(sed -n 's/^success answers: //p' "$WORK/wrk.txt")
ANSWERED=$(sed -n 's/.*beendet nach \([0-9]*\) erfolgreichen Antworten.*/\1/p' "$WORK/server.out")
STORED=$(find "$WORK/Maildir/new" -type f | wc -l)
LEFT_IN_TMP=$(find "$WORK/Maildir/tmp" -type f | wc -l)
echo "== stored mails: $STORED, success answers given: $ANSWERED, read by wrk: $SEEN, left in tmp/: $LEFT_IN_TMP"
if [ -z "${WORK_DIR:-}" ]; then rm -rf "$WORK"; fi
if [ -z "$ANSWERED" ] || [ "$STORED" != "$ANSWERED" ]; then
  echo "formmail_bench: MISMATCH: every success answer must have exactly one stored mail" >&2
  exit 1
fi
if [ "$SEEN" -gt "$ANSWERED" ] || [ "$((ANSWERED - SEEN))" -gt "$CONNECTIONS" ]; then
  echo "formmail_bench: wrk read answers the server does not know of" >&2
  exit 1
fi
echo "== nothing lost"
