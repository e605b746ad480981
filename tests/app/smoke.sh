#!/bin/sh
# Starts the real program, headless, on a freshly prepared program folder and
# checks that it comes up and keeps running (no crash or abort during
# start-up), then stops it.
#   smoke.sh <tessary-mkdb> <tessary>
set -e
mkdb=$1
program=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/tessary"
"$mkdb" "$dir" >/dev/null
[ -f "$dir/cardinfo.mdb" ] || { echo "no card database was prepared"; exit 1; }
XDG_CONFIG_HOME="$dir/config" QT_QPA_PLATFORM=offscreen "$dir/tessary" &
pid=$!
sleep 3
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || true
    echo "the program ended during start-up"
    exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
# Preparing again must leave the existing database alone.
before=$(cksum < "$dir/cardinfo.mdb")
"$mkdb" "$dir" >/dev/null
after=$(cksum < "$dir/cardinfo.mdb")
[ "$before" = "$after" ] || { echo "preparing the folder again changed the database"; exit 1; }
echo "started and stopped cleanly"
