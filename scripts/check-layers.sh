#!/usr/bin/env bash
# Fails when a file of src/ includes a header of a layer it does not link, or a window of
# another folder; prints each such include. Run by CTest.
set -uo pipefail
cd "$(dirname "$0")/../src"
windows="card history pages search layout options lookup"
declare -A may=(
  [text]="text"
  [db]="text db"
  [exchange]="text db imaging exchange"
  [imaging]="text db imaging"
  [scan]="text db imaging scan"
  [widgets]="text db widgets"
  [dialogs]="text db widgets dialogs"
  [tools]="text db imaging exchange tools"
)
for w in $windows; do may[$w]="text db exchange imaging scan widgets dialogs $windows"; done
status=0
while IFS=: read -r file _ include; do
  from=${file%%/*}
  [[ $from == shell ]] && continue
  header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$include")
  to=${header%%/*}
  [[ $header == */* ]] || continue # generated .moc files
  if [[ " ${may[$from]:-} " != *" $to "* ]]; then
    echo "$file includes $header: $from/ does not link $to/"
    status=1
  elif [[ $to != "$from" && " $windows " == *" $to "* && $header == *_frm.h ]]; then
    echo "$file includes $header: a window of another folder (send a signal the desk wires)"
    status=1
  fi
done < <(grep -rn '^#include "' --include=*.cpp --include=*.h .  | sed 's#^\./##')
exit $status
