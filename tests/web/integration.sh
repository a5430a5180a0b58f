#!/usr/bin/env bash
# The program behind a real web server: lighttpd with mod_cgi serves a fresh
# copy of the sample card on a free loopback port, and curl sends the
# requests a browser would, with the site's user and password. The pages'
# exact bytes are the whole-request tests' business; these check what only a
# real server shows: the variables it passes, the responses it delivers, its
# authentication, and the value files and records that the card's own
# programs leave.
#   integration.sh routes|set-urlencoded|set-multipart|set-leaving|set-rejected|progress|reboot
set -uo pipefail
: "${MEROVANE_SOURCE_DIR:?run through ctest}" "${MEROVANE_PROGRAM:?}" "${MEROVANE_PICS:?}"
: "${MEROVANE_WEB_USER:?}" "${MEROVANE_WEB_PASSWORD:?}"
program_url=/cgi-bin/Merovane
credentials=(--user "$MEROVANE_WEB_USER:$MEROVANE_WEB_PASSWORD")
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_equal() {  # ACTUAL EXPECTED WHAT
  [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"
}
expect_contains() {  # TEXT NEEDLE WHAT
  [[ $1 == *"$2"* ]] || fail "$3: missing $(printf '%q' "$2")"
}

# A missing tool fails the test as root (the test command installs it) and
# skips it (77) for an ordinary user.
for tool in lighttpd curl; do
  command -v "$tool" > /dev/null || [[ -x /usr/sbin/$tool ]] && continue
  echo "$tool is missing: install the Debian package $tool" >&2
  [[ $(id -u) -eq 0 ]] && exit 1
  exit 77
done

# Lays out a fresh site and starts lighttpd on it: sets $site and $host.
site_up() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX")
  chmod 755 "$work"  # the program's user 1006 must pass
  site=$work/site
  trap site_down EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" || exit 1
  host=127.0.0.1:$("$MEROVANE_SOURCE_DIR/scripts/card-site" start --owner $$ --user "$MEROVANE_WEB_USER" \
    --password "$MEROVANE_WEB_PASSWORD" "$site") || exit 1
}

# Stops the server and removes the copy. The program's error log and what it
# wrote to standard error (sanitizer reports among it) stay empty while the
# sample card is sound.
site_down() {
  local status=$? log
  trap - EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" stop "$site" > /dev/null 2>&1
  for log in card/tmp/wwwError.txt server/cgi-stderr.log; do
    if [[ -s $site/$log ]]; then
      fail "$log is not empty:"
      cat "$site/$log" >&2
    fi
  done
  rm -rf "$work"
  ((failures == 0)) || status=1
  exit "$status"
}

# request PATH [curl options...]: the response's status in $status, its
# headers (CR removed) in $headers and its body in $body; it logs in with
# $credentials.
request() {
  local path=$1
  shift
  status=$(curl -sS -o "$work/body" -D "$work/headers" -w '%{http_code}' --max-time 30 "${credentials[@]}" "$@" \
    "http://$host$path") ||
    fail "curl $path failed"
  headers=$(tr -d '\r' < "$work/headers")
  body=$(tr -d '\0' < "$work/body")  # (no NUL bytes of an image in a variable)
}
as() {  # USER:PASSWORD COMMAND...: the command logging in so (not at all with "")
  local credentials=()
  [[ -z $1 ]] || credentials=(--user "$1")
  shift
  "$@"
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }

wait_for_file() {  # PATH SECONDS: whether the file has content within that time
  local tenth
  for ((tenth = 0; tenth < $2 * 10; tenth++)); do [[ -s $1 ]] && return 0; sleep 0.1; done
  return 1
}

case_routes() {
  local page check path expected
  page=$(cd "$site/www/includes" && cat pageHeader.html staticPage.html pageFooter.html)
  # Every route of the program and every kind of file: 401 without the
  # password and, with it, as designed. lighttpd sets no PATH_INFO for the
  # bare URL: the static page ("page"), as for a reboot asked without a
  # referer. Other routes redirect to the program's absolute URL; the feed
  # answers a GET with nothing, which lighttpd turns into a server error;
  # fragments stay private.
  for check in "page $program_url" "page $program_url/cardcontrol" "page $program_url/upload" \
    "page $program_url/snmpconf" "page $program_url/reboot" "200 $program_url/set" "200 $program_url/uploadstatus" \
    "500 $program_url/uploadupdate" "302 $program_url/" "302 $program_url/nowhere" "302 $program_url/logon" \
    "302 $program_url/navigator" "302 $program_url/pollcard" "302 $program_url/click" "302 $program_url/logout" \
    "302 $program_url/pollnavigator" "302 $program_url/account" "302 $program_url/delcard" "200 /" \
    "200 /css/card.css" "200 /pics/progressbar.gif" "403 /includes/pageHeader.html"; do
    path=${check#* } expected=${check%% *}
    as "" request "$path"
    expect_equal "$status" 401 "GET $path without the password"
    request "$path"
    expect_equal "$status" "${expected/page/200}" "GET $path"
    case $expected in
      page) expect_equal "$body" "$page" "GET $path: the static page" ;;
      302) expect_equal "$(header Location)" "http://$host$program_url" "GET $path: Location" ;;
    esac
  done
  request "$program_url/nowhere" -L
  expect_equal "$body" "$page" "following the redirect"

  # A wrong password, an applied form and a reboot without the password: the
  # browser is asked to log in, and nothing runs.
  as "$MEROVANE_WEB_USER:${MEROVANE_WEB_PASSWORD}x" request "$program_url"
  expect_equal "$status $(header WWW-Authenticate)" '401 Basic realm="Merovane card", charset="UTF-8"' "a wrong password"
  as "" post_form --data-urlencode "${valid_form[@]}"
  expect_equal "$status" 401 "an applied form without the password"
  as "" request "$program_url/reboot" --data submitbutton=Reboot -H "Referer: http://$host$program_url/uploadstatus"
  expect_equal "$status" 401 "a reboot without the password"
  ! wait_for_file "$site/card/var/log/reboot.log" 3 || fail "the reboot command ran"
  [[ ! -e $site/card/var/log/changes.log ]] || fail "a change program ran"
  request "$program_url/cardcontrol"
  expect_equal "$(header X-Frame-Options)|$(header Content-Security-Policy)" "DENY|frame-ancestors 'none'" \
    "the server's headers against framing"
}

# The sample form, all valid, as a browser sends it; the card's new address is
# 127.0.0.3 (loopback, like every address these tests give it).
valid_form=(
  0oid-frame_ip.conf=127 1oid-frame_ip.conf=0 2oid-frame_ip.conf=0 3oid-frame_ip.conf=3
  0oid-netmask.conf=255 1oid-netmask.conf=255 2oid-netmask.conf=255 3oid-netmask.conf=0
  0oid-gateway.conf=127 1oid-gateway.conf=0 2oid-gateway.conf=0 3oid-gateway.conf=253
  oid-use_dhcp.conf=0 "oid-card_name.conf=Rack 7 <main> & 100%" oid-ref_source.conf=2
  oid-fan_mode.conf=1 oid-temp_alarm.conf=70.25
)

post_form() {  # CURL-FLAG FIELD...: the fields to the set route, one flag each
  local flag=$1 field arguments=()
  shift
  for field; do arguments+=("$flag" "$field"); done
  request "$program_url/set" "${arguments[@]}"
}

# The sample form applied: every value file, the change programs and the
# refresh. The ranged Poll Interval has no input in the form and SNMP Traps is
# outside its menu: neither is sent, and both keep their values.
expect_applied() {
  wait_for_file "$site/card/var/log/refresh.log" 10 || fail "the refresh script did not run"
  expect_equal "$(head -q -n 1 "$site"/card/brix/conf/*.conf)" "NAME=Rack 7 <main> & 100%
FAN=1
IPADDR=127.0.0.3
VERSION=3.2.1 (build 2026-11-04)
GATEWAY=127.0.0.253
NETMASK=255.255.255.0
POLL=30
REFERENCE=2
SERIAL=MRV-0042-1187
TRAPS=1
TEMP_ALARM=70.250000
DHCP=0" "the value files"
  # One change program per parameter sent, as root with the effective user
  # that the program took on; then one refresh.
  local euid=$(($(id -u) == 0 ? 1006 : $(id -u)))
  expect_equal "$(sed -E 's/.* \(euid ([0-9]+)\)$/\1/' "$site/card/var/log/changes.log" | uniq -c | xargs)" "8 $euid" \
    "change programs run, by effective user"
  expect_equal "$(wc -l < "$site/card/var/log/refresh.log")" 1 "refresh runs"
}

case_set() {  # CURL-FLAG: --data-urlencode, or --form-string for multipart (curl -F, taken literally)
  post_form "$1" "${valid_form[@]}"
  expect_contains "$body" "document.location.href = 'http://127.0.0.3';" "the network settings page"
  expect_applied
}

url_encoded() {  # TEXT
  local i c LC_ALL=C
  for ((i = 0; i < ${#1}; i++)); do
    c=${1:i:1}
    [[ $c == [A-Za-z0-9._~-] ]] && printf '%s' "$c" || printf '%%%02X' "'$c"
  done
}

# A browser leaves as soon as the page has arrived (its script sends it to
# the new address) while the change programs still run: lighttpd then ends
# the request. Every change must still be applied, and the refresh run.
case_set_leaving() {
  local bin=$site/card/brix/bin field encoded="" line page=""
  # Change programs that write to the response and take their time.
  mv "$bin/setparam" "$bin/setparam.real"
  printf '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n' > "$bin/setparam"
  chmod 755 "$bin/setparam"
  for field in "${valid_form[@]}"; do
    encoded+=${encoded:+&}${field%%=*}=$(url_encoded "${field#*=}")
  done
  # The client: the request, then the response up to the page's last line.
  exec 3<> "/dev/tcp/${host%:*}/${host#*:}" || { fail "no connection"; return; }
  printf 'POST %s/set HTTP/1.1\r\nHost: %s\r\nAuthorization: Basic %s\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: %s\r\nConnection: close\r\n\r\n%s' \
    "$program_url" "$host" "$(printf '%s:%s' "$MEROVANE_WEB_USER" "$MEROVANE_WEB_PASSWORD" | base64 -w0)" \
    "${#encoded}" "$encoded" >&3
  while IFS= read -r -t 10 line <&3; do
    page+=$line$'\n'
    [[ $line == '</html>'* ]] && break
  done
  exec 3<&-
  expect_contains "$page" "document.location.href = 'http://127.0.0.3';" "the network settings page"
  expect_applied
}

field_names() { grep -o ' name="[^"]*"' | sort -u; }

case_set_rejected() {
  # Three rejected values among valid ones: an address box out of range, an
  # empty text, markup in an integer.
  local form=("${valid_form[@]}") wanted
  form[3]=3oid-frame_ip.conf=300 form[13]=oid-card_name.conf= form[15]="oid-fan_mode.conf=<b>"
  post_form --data-urlencode "${form[@]}"
  expect_equal "$(grep -c '<div class="errorText">Invalid value' <<< "$body")" 3 "error messages"
  # The form again with the stored values, and with the static form's fields.
  for wanted in 'name="3oid-frame_ip.conf" value="1"' 'value="Studio A frame 3"' \
    '<option value="1" selected="true">Genlock A</option>'; do
    expect_contains "$body" "$wanted" "the form of stored values"
  done
  expect_equal "$(field_names <<< "$body")" "$(field_names < "$site/www/includes/staticPage.html")" "the form's fields"
  diff -r "$MEROVANE_SOURCE_DIR/demo/card/brix/conf" "$site/card/brix/conf" >&2 || fail "a value file changed"
  [[ ! -e $site/card/var/log/changes.log ]] || fail "a change program ran"
}

simulate() { "$site/card/brix/bin/simulate-update" "$@" > /dev/null; }

case_progress() {
  local feed="" poll running=0
  # An update that completes, watched through the feed until it says stop.
  simulate --steps 5 --step 0.4 &
  wait_for_file "$site/card/tmp/progress" 5 || fail "the simulator wrote no progress file"
  for ((poll = 0; poll < 100; poll++)); do
    request "$program_url/uploadupdate" --data loadtype=upload
    feed+=$body$'\n'
    [[ $body == *stop=1* ]] && break
    sleep 0.2
  done
  wait
  (($(grep -c '^0</>stop=0</>percentage=' <<< "$feed") >= 2)) || fail "the feed showed no running update: $feed"
  expect_contains "$feed" $'0</>stop=1</>msg=Upload complete</>percentage=100\r\n' "the feed's last record"

  # A controller update that fails, watched through the status page (the
  # load type in the query string) until it stops reloading.
  simulate --ppc --fail 3 --steps 6 --step 0.4 &
  wait_for_file "$site/card/tmp/ppcprogress" 5 || fail "the simulator wrote no ppcprogress file"
  for ((poll = 0; poll < 100; poll++)); do
    request "$program_url/uploadstatus?ppcupload"
    [[ $body == *'<meta http-equiv="refresh" content="2"/>'* ]] || break
    expect_contains "$body" 'Update in progress' "the reloading status page"
    running=1
    sleep 0.2
  done
  wait
  ((running)) || fail "the status page never showed the running update"
  expect_contains "$body" 'Invalid tar file' "the failed update's status page"
}

case_reboot() {
  local referer
  # Refused without a referer and from another route: the static page.
  for referer in "" "http://$host$program_url/set"; do
    request "$program_url/reboot" --data submitbutton=Reboot -H "Referer: $referer"
    expect_contains "$body" '<form name="configForm"' "reboot with referer \"$referer\""
  done
  request "$program_url/reboot" --data submitbutton=Reboot -H "Referer: http://$host$program_url/uploadstatus?ppcupload"
  expect_equal "$(header Refresh)" "30; http://$host" "the rebooting page's Refresh"
  expect_contains "$body" '<h1>Card is rebooting</h1>' "the rebooting page"
  # The stand-in records each request it gets: one, by the program's path.
  wait_for_file "$site/card/var/log/reboot.log" 8 || fail "the reboot command did not run"
  sleep 1
  expect_equal "$(sed -E 's/^[0-9-]+ [0-9:.]+ //' "$site/card/var/log/reboot.log")" "reboot [../../card/sbin/reboot]" \
    "the reboot records"
}

case ${1:-} in
  routes | set-leaving | set-rejected | progress | reboot) site_up && "case_${1//-/_}" ;;
  set-urlencoded) site_up && case_set --data-urlencode ;;
  set-multipart) site_up && case_set --form-string ;;
  *) echo "usage: integration.sh routes|set-urlencoded|set-multipart|set-leaving|set-rejected|progress|reboot" >&2 && exit 2 ;;
esac
