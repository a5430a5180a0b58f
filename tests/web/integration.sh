#!/usr/bin/env bash
# Tests of the program behind a real web server: lighttpd with mod_cgi serves
# a fresh copy of the sample card on a free loopback port, and curl sends the
# requests a browser would.
#   integration.sh CASE   (CASE: sample-card, static, set-urlencoded,
#                          set-multipart, set-rejected, progress, reboot)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"

program_url=/cgi-bin/Merovane

# The program's own diagnostics stay empty while the sample card is sound:
# a message there means a descriptor, value file or fragment it could not use.
expect_quiet_error_log() {
  local log
  log=$(cat "$(card_file tmp/wwwError.txt)" 2> /dev/null)
  expect_equal "$log" "" "the program's error log"
}

# The sample parameters as the form sends them, all valid; the card's new
# address is 127.0.0.3 (loopback, like every address these tests give it).
valid_form=(
  0oid-frame_ip.conf=127 1oid-frame_ip.conf=0 2oid-frame_ip.conf=0 3oid-frame_ip.conf=3
  0oid-netmask.conf=255 1oid-netmask.conf=255 2oid-netmask.conf=255 3oid-netmask.conf=0
  0oid-gateway.conf=127 1oid-gateway.conf=0 2oid-gateway.conf=0 3oid-gateway.conf=254
  oid-use_dhcp.conf=0
  "oid-card_name.conf=Rack 7 <main> & 100%"
  oid-ref_source.conf=2
  oid-fan_mode.conf=1
  oid-temp_alarm.conf=70.25
)

# What the value files hold after the valid form: the ranged Poll Interval has
# no input in the form and the SNMP Traps parameter is outside the form's
# menu, so both are applied as absent integers, 0.
expected_values=(
  "brix/conf/frame_ip.conf IPADDR=127.0.0.3"
  "brix/conf/netmask.conf NETMASK=255.255.255.0"
  "brix/conf/gateway.conf GATEWAY=127.0.0.254"
  "brix/conf/use_dhcp.conf DHCP=0"
  "brix/conf/card_name.conf NAME=Rack 7 <main> & 100%"
  "brix/conf/ref_source.conf REFERENCE=2"
  "brix/conf/fan_mode.conf FAN=1"
  "brix/conf/temp_alarm.conf TEMP_ALARM=70.250000"
  "brix/conf/poll_interval.conf POLL=0"
  "brix/conf/fw_version.conf VERSION=3.2.1 (build 2026-11-04)"
  "brix/conf/serial_no.conf SERIAL=MRV-0042-1187"
  "brix/conf/snmp_traps.conf TRAPS=0"
)
# The change programs in param.xml order, each with the value it stored.
expected_changes="frame_ip.conf 127.0.0.3
netmask.conf 255.255.255.0
gateway.conf 127.0.0.254
use_dhcp.conf 0
card_name.conf Rack 7 <main> & 100%
ref_source.conf 2
fan_mode.conf 1
temp_alarm.conf 70.250000
poll_interval.conf 0
snmp_traps.conf 0"

network_settings_page() {  # ADDRESS: the page that a set without rejections answers
  cat "$site/www/includes/pageHeader.html" "$site/www/includes/generalHeader.html"
  printf '<p align="center">Setting network configuration...</p>'
  printf "\n<script language=\"javascript\">\n\tdocument.location.href = 'http://%s';\n</script>\n" "$1"
  printf '<p align="center">If the page does not automatcially forward, please <a href="http://%s">click here</a>.</p>' "$1"
  cat "$site/www/includes/pageFooter.html"
  printf x
}

# The changes recorded by the change programs: "oid value" per line. As root
# each must have run with the effective user that the program set, 1006.
recorded_changes() {
  sed -E 's/^[0-9-]+ [0-9:]+ set //; s/ \(euid [0-9]+\)$//' "$(card_file var/log/changes.log)" 2> /dev/null
}

expect_change_identity() {
  local wanted
  wanted=$(id -u)
  [[ $wanted -eq 0 ]] && wanted=1006
  if grep -v -q "(euid $wanted)\$" "$(card_file var/log/changes.log)"; then
    fail "change programs ran with another effective user than $wanted: $(cat "$(card_file var/log/changes.log)")"
  fi
}

expect_applied_form() {  # WHAT
  local entry path value
  for entry in "${expected_values[@]}"; do
    path=${entry%% *}
    value=${entry#* }
    expect_equal "$(first_line "$path")" "$value" "$1: $path"
  done
  expect_equal "$(recorded_changes)" "$expected_changes" "$1: the change programs, in order"
  expect_change_identity
  wait_for_file "$(card_file var/log/refresh.log)" 10 || fail "$1: the refresh script did not run"
  expect_equal "$(wc -l < "$(card_file var/log/refresh.log)")" 1 "$1: refresh runs"
}

# The sample card's own programs, run as the program runs them: from
# www/cgi-bin, by the relative paths of param.xml, and as root with the
# effective user 1006 (setpriv stands in for the program's identity change).
as_program() {
  if [[ $(id -u) -eq 0 ]]; then
    (cd "$site/www/cgi-bin" && setpriv --euid 1006 env -i "$@")
  else
    (cd "$site/www/cgi-bin" && env -i "$@")
  fi
}

case_sample_card() {
  local euid
  euid=$(id -u)
  [[ $euid -eq 0 ]] && euid=1006
  printf 'NAME=old\nsecond line\n' > "$(card_file brix/conf/card_name.conf)"
  as_program ../../card/brix/bin/setparam card_name.conf $'Rack <7>\r\n & 100%' || fail "setparam failed"
  expect_equal "$(cat "$(card_file brix/conf/card_name.conf)")" $'NAME=Rack <7> & 100%\nsecond line' \
    "setparam keeps the key and the further lines, and drops line breaks from the value"
  expect_equal "$(recorded_changes)" "card_name.conf Rack <7> & 100%" "setparam's record"
  expect_change_identity
  if as_program ../../card/brix/bin/setparam no_such.conf 1; then
    fail "setparam accepted an oid that param.xml lacks"
  fi
  expect_contains "$(cat "$(card_file var/log/changes.log)")" "refused no_such.conf" "setparam's refusal"

  as_program ../../card/brix/etc/refreshparams.sh < /dev/null > /dev/null 2>&1 || fail "the refresh script failed"
  expect_equal "$(wc -l < "$(card_file var/log/refresh.log)")" 1 "the refresh record"
  # The reboot command starts with its standard streams closed.
  as_program ../../card/sbin/reboot <&- >&- 2>&- || fail "the reboot stand-in failed"
  expect_equal "$(sed -E 's/^[0-9-]+ [0-9:.]+ //' "$(card_file var/log/reboot.log)")" \
    "reboot [../../card/sbin/reboot]" "the reboot record"

  # The simulator's three bytes: stage, error number, percentage.
  simulate --steps 1 --step 0
  expect_equal "$(od -An -tu1 "$(card_file tmp/progress)" | xargs)" "2 0 100" "a completed update"
  simulate --ppc --fail 12 --steps 4 --step 0
  expect_equal "$(od -An -tu1 "$(card_file tmp/ppcprogress)" | xargs)" "1 12 50" "a failed update"
  if simulate --fail 300 2> /dev/null; then fail "the simulator took an error number over 255"; fi
}

case_static() {
  local page
  page=$(static_page)
  page=${page%x}
  for path in "" /cardcontrol /upload /snmpconf; do
    request GET "$program_url$path"
    expect_status 200 "GET $program_url$path"
    expect_equal "$(header Content-type)" "text/html" "GET $program_url$path: type"
    expect_equal "$(header Cache-Control)" "no-cache" "GET $program_url$path: caching"
    expect_equal "$(header Expires)" "Tue, 01 Jan 1996 00:00:00 GMT" "GET $program_url$path: expiry"
    [[ $body == "$page" ]] || fail "GET $program_url$path: not the static page byte for byte"
  done
  # The static page's form posts to the set route.
  expect_contains "$page" '<form name="configForm" method="post" action="/cgi-bin/Merovane/set">' "static page form"

  # Routes without a handler, and paths that differ from a route, redirect to
  # the program's own URL, with no body.
  for path in /logon /navigator /pollcard /click /logout /pollnavigator /account /delcard /nowhere /SET /set/ /; do
    request GET "$program_url$path"
    expect_status 302 "GET $program_url$path"
    expect_equal "$(header Location)" "http://$host$program_url" "GET $program_url$path: Location"
    expect_equal "$body" "" "GET $program_url$path: body"
  done
  request GET "$program_url/nowhere" -L
  expect_status 200 "following the redirect"
  [[ $body == "$page" ]] || fail "following the redirect: not the static page"

  # The web installation around the program.
  request GET /
  expect_status 200 "GET /"
  expect_contains "$body" 'url=/cgi-bin/Merovane/cardcontrol"' "the home page leads to the program"
  local asset type
  for asset in "/css/card.css text/css" "/js/card.js text/javascript" "/pics/progressbar.gif image/gif" \
    "/pics/progressbar-done.gif image/gif"; do
    type=${asset#* }
    request GET "${asset%% *}"
    expect_status 200 "GET ${asset%% *}"
    expect_equal "$(header Content-Type)" "$type" "GET ${asset%% *}: type"
  done
  expect_equal "$(head -c 6 "$body_file")" "GIF89a" "the done image"
  request GET /js/card.js
  for function in 'function validateIP(' 'function allowOnly(' 'function writeMessageDiv('; do
    expect_contains "$body" "$function" "card.js"
  done
  request GET /includes/pageHeader.html
  expect_status 403 "the fragments are not served"

  local mode
  mode=$(stat -c %a "$(card_file tmp/wwwError.txt)")
  expect_equal "$mode" 777 "the program's error log mode"
  expect_quiet_error_log
}

# Posts the valid form with curl option FLAG (--data-urlencode or --form-string).
post_valid_form() {
  local flag=$1 field arguments=()
  for field in "${valid_form[@]}"; do
    arguments+=("$flag" "$field")
  done
  request POST "$program_url/set" "${arguments[@]}"
}

case_set_urlencoded() {
  post_valid_form --data-urlencode
  expect_status 200 "POST /set (URL-encoded)"
  expect_equal "$(header Content-type)" "text/html" "POST /set: type"
  local page
  page=$(network_settings_page 127.0.0.3)
  [[ $body == "${page%x}" ]] || fail "POST /set: not the network settings page for 127.0.0.3 byte for byte: $body"
  expect_applied_form "URL-encoded set"
  expect_quiet_error_log
}

case_set_multipart() {
  post_valid_form --form-string
  expect_status 200 "POST /set (multipart)"
  expect_contains "$(header Content-type)" "text/html" "POST /set: type"
  local page
  page=$(network_settings_page 127.0.0.3)
  [[ $body == "${page%x}" ]] || fail "POST /set (multipart): not the network settings page for 127.0.0.3: $body"
  expect_applied_form "multipart set"
  expect_quiet_error_log
}

# The names of the form fields in an HTML text, sorted.
field_names() {
  grep -o ' name="[^"]*"' <<< "$1" | grep -v 'name="configForm"' | sort -u
}

case_set_rejected() {
  # The set route wants a POST: a GET only asks for a menu choice.
  request GET "$program_url/set"
  expect_status 200 "GET /set"
  local expected
  expected=$(cat "$site/www/includes/pageHeader.html" "$site/www/includes/generalHeader.html"
    printf '<p style="text-align: center">You have not selected a page.<br/><br/>Please choose from one of the above menu options.</p>\n'
    cat "$site/www/includes/pageFooter.html"
    printf x)
  [[ $body == "${expected%x}" ]] || fail "GET /set: not the menu choice page: $body"
  [[ ! -e $(card_file var/log/changes.log) ]] || fail "GET /set changed something"

  # A first set stores values that differ from the static page's, among them
  # a name with characters that the form must escape.
  post_valid_form --data-urlencode
  expect_status 200 "the first set"
  wait_for_file "$(card_file var/log/refresh.log)" 10 || fail "the refresh after the first set did not run"
  local before
  before=$(cd "$site/card/brix/conf" && tail -n +1 -- *)

  # Then a form with three rejected values: an address box out of range, an
  # empty text, and markup in an integer.
  local rejected=("${valid_form[@]}")
  rejected[3]=3oid-frame_ip.conf=300
  rejected[13]=oid-card_name.conf=
  rejected[15]="oid-fan_mode.conf=<b>"
  local arguments=() field
  for field in "${rejected[@]}"; do arguments+=(--data-urlencode "$field"); done
  request POST "$program_url/set" "${arguments[@]}"
  expect_status 200 "the rejected set"
  local head
  head=$(cat "$site/www/includes/pageHeader.html" "$site/www/includes/configHeader.html"
    printf '<tr><td colspan="2">\r\n'
    printf '<div class="errorText">Invalid value "127.0.0.300" for parameter: IP Address</div>\r\n'
    printf '<div class="errorText">Invalid value "" for parameter: Card Name</div>\r\n'
    printf '<div class="errorText">Invalid value "&lt;b&gt;" for parameter: Fan Mode</div>\r\n'
    printf '</td></tr>x')
  head=${head%x}
  [[ $body == "$head"* ]] || fail "the rejected set: page head and messages differ: $body"
  local tail
  tail=$(cat "$site/www/includes/configFooter.html" "$site/www/includes/pageFooter.html"; printf x)
  [[ $body == *"${tail%x}" ]] || fail "the rejected set: the page does not end with the form's and the page's footers"

  # The form rows show the values in force (those of the first set), not the
  # submitted ones.
  local rows=${body#"$head"}
  for wanted in \
    'id="0oid-frame_ip.conf" name="0oid-frame_ip.conf" value="127"' \
    'id="3oid-frame_ip.conf" name="3oid-frame_ip.conf" value="3"' \
    'id="2oid-netmask.conf" name="2oid-netmask.conf" value="255"' \
    "writeMessageDiv('oid-gateway.conf');" \
    '<input type="radio" name="oid-use_dhcp.conf" value="0" checked="true"/>Off&nbsp;&nbsp;' \
    'name="oid-card_name.conf" maxlength="49" value="Rack 7 &lt;main&gt; &amp; 100&#37;"/>' \
    '<option value="2" selected="true">Genlock B</option>' \
    '<input type="radio" name="oid-fan_mode.conf" value="1" checked="true"/>Full speed&nbsp;&nbsp;' \
    'name="oid-temp_alarm.conf" maxlength="49" value="70.250000"/>' \
    '<tr><td valign="top" class="formLabel">Poll Interval:</td><td valign="top"></td></tr>' \
    '<tr><td valign="top" class="formLabel">Firmware:</td><td valign="top">3.2.1 (build 2026-11-04)</td></tr>' \
    '<tr><td valign="top" class="formLabel">Serial Number:</td><td valign="top">MRV-0042-1187</td></tr>'; do
    expect_contains "$rows" "$wanted" "the rejected set's form rows"
  done
  expect_lacks "$rows" "SNMP Traps" "the form shows menu 0 only"

  # The form that the program renders and the static page's form send the
  # same fields.
  local static
  static=$(static_page)
  expect_equal "$(field_names "$rows")" "$(field_names "${static%x}")" "field names of the rendered and the static form"

  # Nothing was applied.
  local after
  after=$(cd "$site/card/brix/conf" && tail -n +1 -- *)
  expect_equal "$after" "$before" "value files after the rejected set"
  sleep 1
  expect_equal "$(wc -l < "$(card_file var/log/changes.log)")" 10 "change programs run in all"
  expect_equal "$(wc -l < "$(card_file var/log/refresh.log)")" 1 "refresh runs in all"
  expect_quiet_error_log
}

# Feed requests, one every 0.2 s until the feed says stop; the records in $feed.
poll_feed() {  # LOADTYPE
  feed=""
  for ((poll = 0; poll < 100; poll++)); do
    request POST "$program_url/uploadupdate" --data "loadtype=$1"
    feed+="$body"$'\n'
    [[ $body == *"stop=1"* || $body == "5" ]] && return 0
    sleep 0.2
  done
  fail "the feed did not stop within 20 s"
}

simulate() {
  "$(card_file brix/bin/simulate-update)" "$@" > /dev/null
}

case_progress() {
  local running_record=$'^0</>stop=0</>percentage=([0-9]+)\r$'
  # A default update that completes, watched through the feed.
  simulate --steps 5 --step 0.4 &
  local simulator=$!
  wait_for_file "$(card_file tmp/progress)" 5 || fail "the simulator wrote no progress file"
  poll_feed upload
  wait "$simulator"
  expect_equal "$(header Content-type)" "text/plain" "the feed's type"
  local line last=-1 running=0
  while IFS= read -r line; do
    [[ -z $line ]] && continue
    if [[ $line =~ $running_record ]]; then
      ((BASH_REMATCH[1] >= last)) || fail "the feed's percentage went back: $line"
      last=${BASH_REMATCH[1]}
      running=$((running + 1))
    elif [[ $line != $'0</>stop=1</>msg=Upload complete</>percentage=100\r' ]]; then
      fail "unexpected feed record: $(printf '%q' "$line")"
    fi
  done <<< "$feed"
  ((running >= 2)) || fail "the feed showed $running running records, expected the update's steps: $feed"
  expect_contains "$feed" $'0</>stop=1</>msg=Upload complete</>percentage=100\r\n' "the feed's last record"
  [[ ! -e $(card_file tmp/progress) ]] || fail "the completed progress file is still there"

  # A controller (ppcupload) update that fails, watched through the status page.
  simulate --ppc --fail 3 --steps 6 --step 0.4 &
  simulator=$!
  wait_for_file "$(card_file tmp/ppcprogress)" 5 || fail "the simulator wrote no ppc progress file"
  local seen_running=0
  for ((poll = 0; poll < 100; poll++)); do
    request GET "$program_url/uploadstatus?ppcupload"
    if [[ $body == *"Update in progress"* ]]; then
      seen_running=1
      expect_contains "$body" '<meta http-equiv="refresh" content="2"/>' "the running status page reloads"
      expect_contains "$body" '<img src="/pics/progressbar.gif"/>' "the running status page's bar"
    else
      break
    fi
    sleep 0.2
  done
  wait "$simulator"
  ((seen_running)) || fail "the status page never showed the running update"
  expect_contains "$body" '<div class="progressbar"><img src="/pics/progressbar-done.gif"/></div><div class="progressbar-message">Error:&nbsp;&nbsp;<span class="errorText">Invalid tar file</span></div>' "the failed update's status page"
  expect_lacks "$body" 'http-equiv="refresh"' "the ended update's status page"
  [[ ! -e $(card_file tmp/ppcprogress) ]] || fail "the failed progress file is still there"

  # A default update that completed before anyone looked: the status page
  # offers the reboot, and the file is gone afterwards.
  simulate --steps 1 --step 0
  request GET "$program_url/uploadstatus"
  expect_contains "$body" '<div class="progressbar-message">Upload Complete</div><form action="/cgi-bin/Merovane/reboot" method="post"><center>' "the completed update's status page"
  expect_contains "$body" '<input style="width: 100%;" type="submit" name="submitbutton" value="Reboot"/></div></center>' "the reboot button"
  [[ ! -e $(card_file tmp/progress) ]] || fail "the completed progress file is still there after the page"

  # A completed controller update through the feed: its reboot form.
  simulate --ppc --steps 1 --step 0
  request POST "$program_url/uploadupdate" --data "loadtype=ppcupload"
  expect_equal "$body" $'0</>stop=1</>msg=Upload complete.<br>You should reboot the controller for the change to take effect.<br></>percentage=100\r\n<form action="/cgi-bin/Merovane/reboot" method="GET"><input type="submit" value="Reboot"></form>\r\n' "the ppc feed's completion"

  # With no update going on, both report completion.
  request POST "$program_url/uploadupdate" --data "loadtype=upload"
  expect_equal "$body" $'0</>stop=1</>msg=Upload complete</>percentage=100\r\n' "the feed without a progress file"
  request GET "$program_url/uploadstatus"
  expect_contains "$body" 'Upload Complete' "the status page without a progress file"
  # The feed answers POST only; its empty answer to a GET is no CGI response,
  # which lighttpd turns into a server error.
  request GET "$program_url/uploadupdate"
  expect_status 500 "GET /uploadupdate"
  expect_quiet_error_log
}

case_reboot() {
  local status_page="http://$host$program_url/uploadstatus"
  local page
  page=$(static_page)
  page=${page%x}
  # Refused: no referer, another route of the program, a letter's case.
  local button=(--data "submitbutton=Reboot")
  request POST "$program_url/reboot" "${button[@]}"
  [[ $body == "$page" ]] || fail "reboot without a referer: not the static page"
  request GET "$program_url/reboot"
  [[ $body == "$page" ]] || fail "reboot by GET without a referer: not the static page"
  request POST "$program_url/reboot" "${button[@]}" -H "Referer: http://$host$program_url/set"
  [[ $body == "$page" ]] || fail "reboot from the set route: not the static page"
  request POST "$program_url/reboot" "${button[@]}" -H "Referer: http://$host$program_url/uploadStatus"
  [[ $body == "$page" ]] || fail "reboot from a referer in another case: not the static page"

  # Accepted: from the status page (here the controller update's).
  request POST "$program_url/reboot" "${button[@]}" -H "Referer: $status_page?ppcupload"
  expect_status 200 "reboot from the status page"
  expect_equal "$(header Refresh)" "30; http://$host" "the rebooting page's Refresh"
  expect_contains "$body" '<div class="headerBox"></div><div align="center"><h1>Card is rebooting</h1><p>Please wait 30 seconds</p></div>' "the rebooting page"
  # The answer came before the reboot command: it runs 2 s after the request.
  [[ ! -e $(card_file var/log/reboot.log) ]] || fail "the reboot command ran before the answer was complete"
  wait_for_file "$(card_file var/log/reboot.log)" 8 || fail "the reboot command did not run"
  sleep 3
  local records
  records=$(sed -E 's/^[0-9-]+ [0-9:.]+ //' "$(card_file var/log/reboot.log)")
  expect_equal "$records" "reboot [../../card/sbin/reboot]" "the reboot stand-in: one request, with its path only"
  expect_quiet_error_log
}

[[ $# -eq 1 ]] || { echo "usage: integration.sh CASE" >&2; exit 2; }
case_function=case_${1//-/_}
declare -F "$case_function" > /dev/null || { echo "no test case $1" >&2; exit 2; }
site_up
"$case_function"
echo "$1: $failures check(s) failed"
