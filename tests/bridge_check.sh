#!/bin/sh
# The page bridge end to end: "ready", "details", "script", then a run of one
# unknown id.
#   bridge_check.sh <command that starts the bridge>...
# Prints the bridge's lines; fails unless they are the init line, the details
# of 421 tweaks with 421 distinct keys, the script of id 0, and exactly the
# run's log, progress and done lines.
set -eu
out=$(printf '%s\n' '{"cmd":"ready"}' '{"cmd":"details"}' '{"cmd":"script","id":0}' '{"cmd":"optimize","ids":[-1]}' | "$@")
printf '%s\n' "$out" | cut -c1-120
first=$(printf '%s\n' "$out" | head -n 1)
details=$(printf '%s\n' "$out" | sed -n 2p)
script=$(printf '%s\n' "$out" | sed -n 3p)
rest=$(printf '%s\n' "$out" | tail -n +4)
keys=$(printf '%s\n' "$details" | grep -o '"key":"[^"]*"' | sort)
[ "$(printf '%s\n' "$keys" | wc -l)" -eq 421 ] || { echo "details do not name 421 keys" >&2; exit 1; }
[ -z "$(printf '%s\n' "$keys" | uniq -d)" ] || { echo "details repeat a key" >&2; exit 1; }
case "$script" in
  '{"type":"script","id":0,"text":"'*'"}') ;;
  *) echo "third line is not the script of id 0" >&2; exit 1 ;;
esac
expected='{"type":"log","level":"info","text":"Running 1 tweaks..."}
{"type":"progress","cur":0,"max":1,"ok":0,"err":0}
{"type":"progress","cur":1,"max":1,"ok":0,"err":1}
{"type":"done","ok":0,"err":1}'
case "$first" in
  '{"type":"init","admin":'*'"categories":[{"key":"cleanup","name":"cleanup","tweaks":[{"id":0,'*'}]}]}') ;;
  *) echo "first line is not the init message" >&2; exit 1 ;;
esac
[ "$rest" = "$expected" ] || { echo "the run's lines differ from the expected ones" >&2; exit 1; }
echo "bridge answered as expected"
