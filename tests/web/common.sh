# Sourced by integration.sh (lighttpd) and busybox.sh: a fresh sample card behind a real server on a free loopback
# port, curl requests, checks, and the cases both servers share.
set -uo pipefail
: "${MEROVANE_SOURCE_DIR:?run through ctest}" "${MEROVANE_PROGRAM:?}" "${MEROVANE_PICS:?}"
program_url=/cgi-bin/Merovane
credentials=()  # curl's --user option, when the server asks for it
failures=0

fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
expect_equal() { [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"; }
expect_contains() { [[ $1 == *"$2"* ]] || fail "$3: missing $(printf '%q' "$2")"; }  # TEXT NEEDLE WHAT

require() {  # TOOL...: a missing one fails the test as root (the test command installs it), skips it (77) otherwise
  for tool; do
    command -v "$tool" > /dev/null || [[ -x /usr/sbin/$tool ]] ||
      { echo "$tool is missing: install the Debian package $tool" >&2 && exit $(($(id -u) == 0 ? 1 : 77)); }
  done
}

site_up() {  # SERVER-SCRIPT [START-OPTIONS...]: sets $site and $host; the site goes when the test ends
  server=$1 work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX") && site=$work/site && shift
  chmod 755 "$work"  # the program's user 1006 must pass
  trap site_down EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" || exit 1
  host=127.0.0.1:$("$MEROVANE_SOURCE_DIR/scripts/$server" start --owner $$ "$@" "$site") || exit 1
}

# The program's error log and its standard error (sanitizer reports among it) stay empty.
site_down() {
  local status=$? log
  trap - EXIT
  "$MEROVANE_SOURCE_DIR/scripts/$server" stop "$site" > /dev/null 2>&1
  for log in card/tmp/wwwError.txt server/cgi-stderr.log; do
    [[ -s $site/$log ]] && fail "$log is not empty: $(cat "$site/$log")"
  done
  rm -rf "$work"
  exit $((failures ? 1 : status))
}

request() {  # PATH [CURL-OPTION...]: $status (000 for no HTTP answer), $headers (CR removed), $body
  status=$(curl -s -o "$work/body" -D "$work/headers" -w '%{http_code}' --max-time 30 "${credentials[@]}" "${@:2}" \
    "http://$host$1")
  headers=$(tr -d '\r' < "$work/headers")
  body=$(tr -d '\0' < "$work/body")  # (no NUL bytes of an image in a variable)
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }
wait_for_file() {  # PATH SECONDS: whether the file has content within that time
  local tenth
  for ((tenth = 0; tenth < $2 * 10; tenth++)); do [[ -s $1 ]] && return 0; sleep 0.1; done
  return 1
}

# The sample form, all valid; the card's new address is 127.0.0.3 (loopback).
valid_form=(
  0oid-frame_ip.conf=127 1oid-frame_ip.conf=0 2oid-frame_ip.conf=0 3oid-frame_ip.conf=3
  0oid-netmask.conf=255 1oid-netmask.conf=255 2oid-netmask.conf=255 3oid-netmask.conf=0
  0oid-gateway.conf=127 1oid-gateway.conf=0 2oid-gateway.conf=0 3oid-gateway.conf=253
  oid-use_dhcp.conf=0 "oid-card_name.conf=Rack 7 <main> & 100%" oid-ref_source.conf=2
  oid-fan_mode.conf=1 oid-temp_alarm.conf=70.25
)
form_arguments() {  # CURL-FLAG: $arguments, the sample form's fields with the flag before each
  local field
  arguments=()
  for field in "${valid_form[@]}"; do arguments+=("$1" "$field"); done
}

# The sample form applied: every value file (Poll Interval and SNMP Traps are not in the form), one change program
# per field sent (with the effective user that the program took on as root), then one refresh.
expect_applied() {
  wait_for_file "$site/card/var/log/refresh.log" 10 || fail "the refresh script did not run"
  expect_equal "$(head -q -n 1 "$site"/card/brix/conf/*.conf | xargs -d '\n')" "NAME=Rack 7 <main> & 100% FAN=1 \
IPADDR=127.0.0.3 VERSION=3.2.1 (build 2026-11-04) GATEWAY=127.0.0.253 NETMASK=255.255.255.0 POLL=30 REFERENCE=2 \
SERIAL=MRV-0042-1187 TRAPS=1 TEMP_ALARM=70.250000 DHCP=0" "the value files"
  local euid=$(($(id -u) == 0 ? 1006 : $(id -u)))
  expect_equal "$(sed -E 's/.* \(euid ([0-9]+)\)$/\1/' "$site/card/var/log/changes.log" | uniq -c | xargs)" "8 $euid" \
    "change programs run, by effective user"
  expect_equal "$(wc -l < "$site/card/var/log/refresh.log")" 1 "refresh runs"
}

case_set() {  # CURL-FLAG: --data-urlencode, or --form-string for multipart (curl -F, taken literally)
  form_arguments "$1" && request "$program_url/set" "${arguments[@]}"
  expect_equal "$status" 200 "POST $program_url/set"
  expect_applied
}

# A browser leaves as soon as the network settings page has arrived (streamed before the change programs end; its
# script sends it on) while the change programs still write to the response and take their time: lighttpd then
# signals the request, BusyBox closes the pipe. Every change must still be applied, and the refresh run.
case_set_leaving() {
  local bin=$site/card/brix/bin encoded line page=""
  mv "$bin/setparam" "$bin/setparam.real"
  printf '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n' > "$bin/setparam"
  chmod 755 "$bin/setparam"
  form_arguments --data-urlencode && encoded=$(curl -sG -o /dev/null -w '%{url_effective}' "${arguments[@]}" "http://$host/")
  encoded=${encoded#*\?}
  exec 3<> "/dev/tcp/${host%:*}/${host#*:}" || { fail "no connection"; return; }
  printf 'POST %s/set HTTP/1.1\r\nHost: %s\r\nAuthorization: Basic %s\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: %s\r\nConnection: close\r\n\r\n%s' \
    "$program_url" "$host" "$(printf '%s' "${credentials[1]:-}" | base64 -w0)" "${#encoded}" "$encoded" >&3
  while IFS= read -r -t 10 line <&3 && page+=$line$'\n' && [[ $line != '</html>'* ]]; do :; done
  exec 3<&-
  expect_contains "$page" "document.location.href = 'http://127.0.0.3';" "the network settings page"
  (($(cat "$site/card/var/log/changes.log" 2> /dev/null | wc -l) < 8)) || fail "the page came after the change programs"
  expect_applied
}
