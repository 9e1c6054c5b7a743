#!/bin/sh
# The page bridge end to end: "ready", then a run of one unknown id.
#   bridge_check.sh <command that starts the bridge>...
# Prints the bridge's lines; fails unless they are the init line followed by
# exactly the run's log, progress and done lines.
set -eu
out=$(printf '%s\n%s\n' '{"cmd":"ready"}' '{"cmd":"optimize","ids":[-1]}' | "$@")
printf '%s\n' "$out" | cut -c1-120
first=$(printf '%s\n' "$out" | head -n 1)
rest=$(printf '%s\n' "$out" | tail -n +2)
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
