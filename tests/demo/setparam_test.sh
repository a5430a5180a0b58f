#!/bin/sh
# The sample card's change program on a full disk (no file may grow: ulimit -f
# 0, with SIGXFSZ ignored so that writes fail instead): it reports the failure
# and the value file keeps its old value; with room, the value is stored.
#   setparam_test.sh <source tree>
set -eu
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
mkdir -p "$work/card/brix/bin" "$work/card/brix/etc" "$work/card/var/log" "$work/values"
cp -- "$1/demo/card/brix/bin/setparam" "$work/card/brix/bin/"
printf '<param><oid>card</oid><file>%s</file></param>\n' "$work/values/card" \
  > "$work/card/brix/etc/param.xml"
printf 'card_name=old\n' > "$work/values/card"

fail() { echo "$*" >&2; exit 1; }
value() { cat "$work/values/card"; }
if (ulimit -f 0; trap '' XFSZ; exec "$work/card/brix/bin/setparam" card new); then
  fail "setparam reported success without room to write"
fi
[ "$(value)" = card_name=old ] || fail "value file changed: $(value)"
[ "$(ls "$work/values")" = card ] || fail "left behind: $(ls "$work/values")"
"$work/card/brix/bin/setparam" card new || fail "setparam failed with room to write"
[ "$(value)" = card_name=new ] || fail "value not stored: $(value)"
