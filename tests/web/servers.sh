#!/usr/bin/env bash
# The program behind a real web server on a fresh sample card (free loopback port), curl as the client: what only the
# server shows (its status codes, authentication, headers, the forms it passes on, a client leaving), not the pages.
#   servers.sh lighttpd routes|set-*, or busybox static|auth|set-* (set-urlencoded, set-multipart, set-leaving)
set -uo pipefail
: "${MEROVANE_SOURCE_DIR:?run through ctest}" "${MEROVANE_PROGRAM:?}" "${MEROVANE_PICS:?}"
program_url=/cgi-bin/Merovane credentials=() failures=0  # credentials: curl's --user option, when the server asks

fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
expect_equal() { [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"; }
require() {  # TOOL...: a missing one fails the test as root (the test command installs it), skips it (77) otherwise
  for tool; do command -v "$tool" > /dev/null || [[ -x /usr/sbin/$tool ]] ||
    { echo "$tool is missing: install the Debian package $tool" >&2 && exit $(($(id -u) == 0 ? 1 : 77)); }; done
}

# CASE SERVER-SCRIPT [START-OPTIONS...]: case_CASE on a fresh site ($site, $host); then the site goes, and the program's
# error log and its standard error (sanitizer reports among it) must be empty.
run_case() {
  declare -F "case_${1//-/_}" > /dev/null || { echo "usage: $0 lighttpd|busybox CASE" >&2 && exit 2; }
  local run=case_${1//-/_} && server=$2 work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX") && site=$work/site
  chmod 755 "$work"  # the program's user 1006 must pass
  trap site_down EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" || exit 1
  host=127.0.0.1:$("$MEROVANE_SOURCE_DIR/scripts/$server" start --owner $$ "${@:3}" "$site") || exit 1
  "$run"; exit
}
site_down() {
  local status=$? log
  trap - EXIT
  "$MEROVANE_SOURCE_DIR/scripts/$server" stop "$site" > /dev/null 2>&1
  for log in card/tmp/wwwError.txt server/cgi-stderr.log; do [[ ! -s $site/$log ]] || fail "$log: $(cat "$site/$log")"; done
  rm -rf "$work"
  exit $((failures ? 1 : status))
}

request() {  # PATH [CURL-OPTION...]: $status (000 for no HTTP answer), $headers (CR removed), $body
  status=$(curl -s -o "$work/body" -D "$work/headers" -w '%{http_code}' --max-time 30 "${credentials[@]}" "${@:2}" \
    "http://$host$1")
  headers=$(tr -d '\r' < "$work/headers") body=$(tr -d '\0' < "$work/body")  # (no NUL bytes of an image in a variable)
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }
wait_for_file() { timeout "$2" sh -c 'until [ -s "$0" ]; do sleep 0.1; done' "$1"; }  # PATH SECONDS: has content?

# CURL-FLAG: $form, the sample form (all valid; the card's new address is 127.0.0.3) with the flag before each field.
form_with() {
  form=()
  for field in 0oid-frame_ip.conf=127 1oid-frame_ip.conf=0 2oid-frame_ip.conf=0 3oid-frame_ip.conf=3 \
    0oid-netmask.conf=255 1oid-netmask.conf=255 2oid-netmask.conf=255 3oid-netmask.conf=0 0oid-gateway.conf=127 \
    1oid-gateway.conf=0 2oid-gateway.conf=0 3oid-gateway.conf=253 oid-use_dhcp.conf=0 oid-ref_source.conf=2 \
    "oid-card_name.conf=Rack 7 <main> & 100%" oid-fan_mode.conf=1 oid-temp_alarm.conf=70.25; do form+=("$1" "$field"); done
}

# The sample form applied: every value file (Poll Interval and SNMP Traps are not in the form), one change program
# per field sent, by the effective user the program took on as root, then one refresh.
expect_applied() {
  wait_for_file "$site/card/var/log/refresh.log" 10 || fail "the refresh script did not run"
  expect_equal "$(head -q -n 1 "$site"/card/brix/conf/*.conf | xargs -d '\n')" "NAME=Rack 7 <main> & 100% FAN=1 \
IPADDR=127.0.0.3 VERSION=3.2.1 (build 2026-11-04) GATEWAY=127.0.0.253 NETMASK=255.255.255.0 POLL=30 REFERENCE=2 \
SERIAL=MRV-0042-1187 TRAPS=1 TEMP_ALARM=70.250000 DHCP=0" "the value files"
  expect_equal "$(sed -E 's/.* \(euid ([0-9]+)\)$/\1/' "$site/card/var/log/changes.log" | uniq -c | xargs)" \
    "8 $(($(id -u) == 0 ? 1006 : $(id -u)))" "change programs run, by effective user"
  expect_equal "$(wc -l < "$site/card/var/log/refresh.log")" 1 "refresh runs"
}
case_set_urlencoded() { form_with --data-urlencode && post_form; }
case_set_multipart() { form_with --form-string && post_form; }  # curl -F, taken literally
post_form() { request "$program_url/set" "${form[@]}" && expect_equal "$status" 200 "POST $program_url/set" && expect_applied; }

# A browser leaves once the network settings page (streamed before the change programs end) has arrived, while slow
# change programs still write to the response: curl dies on its next write once sed has the page footer, so lighttpd
# signals the request, BusyBox closes the pipe. Every change must still be applied, and the refresh run.
case_set_leaving() {
  local bin=$site/card/brix/bin page
  mv "$bin/setparam" "$bin/setparam.real"
  printf '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n' > "$bin/setparam"
  chmod 755 "$bin/setparam" && form_with --data-urlencode
  page=$(curl -sN --max-time 30 "${credentials[@]}" "${form[@]}" "http://$host$program_url/set" | sed '/^<\/html>/q')
  [[ $page == *"document.location.href = 'http://127.0.0.3';"* ]] || fail "no network settings page: $page"
  (($(cat "$site/card/var/log/changes.log" 2> /dev/null | wc -l) < 8)) || fail "the page came after the change programs"
  expect_applied
}

# lighttpd (mod_cgi), logged in as the site's user.
expect_routes() {  # STATUS PATH...: 401 without the password, else STATUS; a redirect leads to the program's URL
  for path in "${@:2}"; do
    request "$path" -H Authorization:  # (curl then sends no password)
    expect_equal "$status" 401 "GET $path without the password"
    request "$path"
    expect_equal "$status" "$1" "GET $path"
    [[ $1 != 302 ]] || expect_equal "$(header Location)" "http://$host$program_url" "GET $path: Location"
  done
}
case_routes() {
  # The bare URL (no PATH_INFO) is the static page, unknown routes redirect, the feed's empty answer to a GET becomes
  # a server error, fragments stay private.
  expect_routes 200 $program_url{,/cardcontrol,/upload,/snmpconf,/reboot,/set,/uploadstatus} / /css/card.css \
    /pics/progressbar.gif
  expect_routes 302 $program_url/{,nowhere,logon,navigator,pollcard,click,logout,pollnavigator,account,delcard}
  expect_routes 500 $program_url/uploadupdate
  expect_routes 403 /includes/pageHeader.html
  # A wrong password, a form and a reboot without the password: asked to log in, and nothing runs.
  request "$program_url" --user "$MEROVANE_WEB_USER:${MEROVANE_WEB_PASSWORD}x"
  expect_equal "$status $(header WWW-Authenticate)" '401 Basic realm="Merovane card", charset="UTF-8"' "a wrong password"
  request "$program_url/set" -H Authorization: --data-urlencode 0oid-frame_ip.conf=127
  expect_equal "$status" 401 "an applied form without the password"
  request "$program_url/reboot" -H Authorization: --data submitbutton=Reboot -H "Referer: http://$host$program_url/uploadstatus"
  expect_equal "$status" 401 "a reboot without the password"
  ! wait_for_file "$site/card/var/log/reboot.log" 3 || fail "the reboot command ran"
  [[ ! -e $site/card/var/log/changes.log ]] || fail "a change program ran"
  request "$program_url/cardcontrol"
  expect_equal "$(header X-Frame-Options)|$(header Content-Security-Policy)" "DENY|frame-ancestors 'none'" \
    "the server's headers against framing"
}

# BusyBox httpd 1.35 where it differs from lighttpd: an empty PATH_INFO for the bare URL, a bare "Location:" passed on
# with status 200, no answer to an empty response, authentication by its configuration's line.
case_static() {
  # The bare URL and unknown routes: the redirect, status 200, no body. The feed's empty answer to a GET: no answer.
  for path in "$program_url" "$program_url/nowhere"; do
    request "$path"
    expect_equal "$status|$(header Location)|$body" "200|http://$host$program_url|" "GET $path"
  done
  request "$program_url/uploadupdate"
  expect_equal "$status" 000 "GET $program_url/uploadupdate"
}
case_auth() {  # the "/cgi-bin:user:password" line
  for check in "401" "401 --user user:wrong" "200 --user user:password"; do
    request "$program_url/cardcontrol" ${check#???}
    expect_equal "$status" "${check%% *}" "GET $program_url/cardcontrol ${check#???}"
  done
}

if [[ ${1:-} == lighttpd ]]; then
  : "${MEROVANE_WEB_USER:?}" "${MEROVANE_WEB_PASSWORD:?}" && require lighttpd curl
  credentials=(--user "$MEROVANE_WEB_USER:$MEROVANE_WEB_PASSWORD")
  run_case "${2:-}" card-site --user "$MEROVANE_WEB_USER" --password "$MEROVANE_WEB_PASSWORD"
fi
[[ ${1:-} == busybox ]] && require busybox curl &&
  run_case "${2:-}" busybox-site $([[ ${2:-} == auth ]] && echo --auth user:password)
run_case ""  # usage
