#!/usr/bin/env bash
# The program behind BusyBox httpd (1.35), a card's other web server, on a
# fresh copy of the sample card. Checks what this server does with the
# program's responses where it differs from lighttpd (integration.sh): it
# passes an empty PATH_INFO for the bare URL, passes a bare "Location:" on with
# status 200, gives no HTTP answer to an empty response, and streams the
# network settings page while the change programs run.
#   busybox.sh static|set-urlencoded|set-multipart|progress|reboot|auth
set -uo pipefail
: "${MEROVANE_SOURCE_DIR:?run through ctest}" "${MEROVANE_PROGRAM:?}" "${MEROVANE_PICS:?}"
program_url=/cgi-bin/Merovane
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
for tool in busybox curl; do
  command -v "$tool" > /dev/null && continue
  echo "$tool is missing: install the Debian package $tool" >&2
  [[ $(id -u) -eq 0 ]] && exit 1
  exit 77
done

site_up() {  # [USER:PASSWORD]: a fresh site served by httpd; sets $site and $host
  work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-busybox-XXXXXX")
  chmod 755 "$work"  # the program's user 1006 must pass
  site=$work/site
  trap site_down EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" || exit 1
  host=127.0.0.1:$("$MEROVANE_SOURCE_DIR/scripts/busybox-site" start --owner $$ ${1:+--auth "$1"} "$site") || exit 1
}

site_down() {
  local status=$?
  trap - EXIT
  "$MEROVANE_SOURCE_DIR/scripts/busybox-site" stop "$site" > /dev/null 2>&1
  if [[ -s $site/card/tmp/wwwError.txt ]]; then
    fail "the error log is not empty:"
    cat "$site/card/tmp/wwwError.txt" >&2
  fi
  rm -rf "$work"
  ((failures == 0)) || status=1
  exit "$status"
}

# request PATH [curl options...]: $status (000 when no HTTP answer came),
# $headers (CR removed) and $body.
request() {
  local path=$1
  shift
  status=$(curl -sS -o "$work/body" -D "$work/headers" -w '%{http_code}' --max-time 30 "$@" "http://$host$path" 2> /dev/null)
  headers=$(tr -d '\r' < "$work/headers")
  body=$(cat "$work/body")
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }

wait_for_file() {  # PATH SECONDS
  local tenth
  for ((tenth = 0; tenth < $2 * 10; tenth++)); do [[ -s $1 ]] && return 0; sleep 0.1; done
  return 1
}

case_static() {
  local page path
  page=$(cd "$site/www/includes" && cat pageHeader.html staticPage.html pageFooter.html)
  request "$program_url/cardcontrol"
  expect_equal "$status $body" "200 $page" "GET $program_url/cardcontrol"
  # The bare URL arrives with an empty PATH_INFO, which is no route: the
  # program's redirect, which BusyBox passes on with status 200 (no 302) and
  # no body, as for any unknown route. A trailing slash is BusyBox's own 404.
  for path in "$program_url" "$program_url/nowhere"; do
    request "$path"
    expect_equal "$status|$(header Location)|$body" "200|http://$host$program_url|" "GET $path"
  done
  request "$program_url/"
  expect_equal "$status" 404 "GET $program_url/"
  # The feed answers a GET with nothing: BusyBox then sends no answer at all.
  request "$program_url/uploadupdate"
  expect_equal "$status" 000 "GET $program_url/uploadupdate"
}

valid_form=(
  0oid-frame_ip.conf=127 1oid-frame_ip.conf=0 2oid-frame_ip.conf=0 3oid-frame_ip.conf=3
  0oid-netmask.conf=255 1oid-netmask.conf=255 2oid-netmask.conf=255 3oid-netmask.conf=0
  0oid-gateway.conf=127 1oid-gateway.conf=0 2oid-gateway.conf=0 3oid-gateway.conf=253
  oid-use_dhcp.conf=0 "oid-card_name.conf=Rack 7 <main> & 100%" oid-ref_source.conf=2
  oid-fan_mode.conf=1 oid-temp_alarm.conf=70.25
)

case_set() {  # CURL-FLAG: --data-urlencode, or --form-string for multipart
  local field arguments=()
  for field in "${valid_form[@]}"; do arguments+=("$1" "$field"); done
  request "$program_url/set" "${arguments[@]}"
  expect_equal "$status" 200 "POST $program_url/set"
  expect_contains "$body" "document.location.href = 'http://127.0.0.3';" "the network settings page"
  wait_for_file "$site/card/var/log/refresh.log" 10 || fail "the refresh script did not run"
  expect_equal "$(grep -h -e '^IPADDR=' -e '^NAME=' "$site"/card/brix/conf/{frame_ip,card_name}.conf)" \
    $'IPADDR=127.0.0.3\nNAME=Rack 7 <main> & 100%' "the value files"
  expect_equal "$(wc -l < "$site/card/var/log/changes.log")" 8 "change programs run (one per field sent)"
}

case_progress() {
  local poll feed="" reloading=0
  "$site/card/brix/bin/simulate-update" --steps 4 --step 0.4 > /dev/null &
  wait_for_file "$site/card/tmp/progress" 5 || fail "the simulator wrote no progress file"
  for ((poll = 0; poll < 100; poll++)); do
    request "$program_url/uploadstatus"
    [[ $body == *'<meta http-equiv="refresh" content="2"/>'* ]] && reloading=1
    request "$program_url/uploadupdate" --data loadtype=upload
    feed+=$body$'\n'
    [[ $body == *stop=1* ]] && break
    sleep 0.2
  done
  wait
  ((reloading)) || fail "the status page never showed the running update"
  (($(grep -c '^0</>stop=0</>percentage=' <<< "$feed") >= 2)) || fail "the feed showed no running update: $feed"
  expect_contains "$feed" $'0</>stop=1</>msg=Upload complete</>percentage=100\r\n' "the feed's last record"
}

case_reboot() {
  request "$program_url/reboot" --data submitbutton=Reboot
  expect_contains "$body" '<form name="configForm"' "reboot without a referer"
  request "$program_url/reboot" --data submitbutton=Reboot -H "Referer: http://$host$program_url/uploadstatus"
  expect_equal "$status $(header Refresh)" "200 30; http://$host" "the rebooting page's Refresh"
  wait_for_file "$site/card/var/log/reboot.log" 8 || fail "the reboot command did not run"
}

case_auth() {
  request "$program_url/cardcontrol"
  expect_equal "$status" 401 "without credentials"
  request "$program_url/cardcontrol" -u user:wrong
  expect_equal "$status" 401 "with a wrong password"
  request "$program_url/cardcontrol" -u user:password
  expect_equal "$status" 200 "with the credentials"
}

case ${1:-} in
  static | progress | reboot) site_up && "case_$1" ;;
  set-urlencoded) site_up && case_set --data-urlencode ;;
  set-multipart) site_up && case_set --form-string ;;
  auth) site_up user:password && case_auth ;;
  *) echo "usage: busybox.sh static|set-urlencoded|set-multipart|progress|reboot|auth" >&2 && exit 2 ;;
esac
