#!/usr/bin/env bash
# The program behind lighttpd (mod_cgi), curl logged in as the site's user: what only this server shows (its status
# codes, authentication, headers against framing, the forms it passes on, a client leaving), not the pages' bytes.
#   integration.sh routes|set-urlencoded|set-multipart|set-leaving
source "$(dirname "$0")/common.sh"
: "${MEROVANE_WEB_USER:?}" "${MEROVANE_WEB_PASSWORD:?}"
credentials=(--user "$MEROVANE_WEB_USER:$MEROVANE_WEB_PASSWORD")
require lighttpd curl
anonymous=(-H Authorization:)  # curl then sends no password

case_routes() {
  local check path expected
  # 401 without the password, else as designed: the bare URL (no PATH_INFO) is the static page, unknown routes
  # redirect, the feed's empty answer to a GET becomes a server error, fragments stay private.
  for check in "200 $program_url" "200 $program_url/cardcontrol" "200 $program_url/upload" \
    "200 $program_url/snmpconf" "200 $program_url/reboot" "200 $program_url/set" "200 $program_url/uploadstatus" \
    "500 $program_url/uploadupdate" "302 $program_url/" "302 $program_url/nowhere" "302 $program_url/logon" \
    "302 $program_url/navigator" "302 $program_url/pollcard" "302 $program_url/click" "302 $program_url/logout" \
    "302 $program_url/pollnavigator" "302 $program_url/account" "302 $program_url/delcard" "200 /" \
    "200 /css/card.css" "200 /pics/progressbar.gif" "403 /includes/pageHeader.html"; do
    path=${check#* } expected=${check%% *}
    request "$path" "${anonymous[@]}"
    expect_equal "$status" 401 "GET $path without the password"
    request "$path"
    expect_equal "$status" "$expected" "GET $path"
    [[ $expected != 302 ]] || expect_equal "$(header Location)" "http://$host$program_url" "GET $path: Location"
  done
  # A wrong password, a form and a reboot without the password: asked to log in, and nothing runs.
  request "$program_url" --user "$MEROVANE_WEB_USER:${MEROVANE_WEB_PASSWORD}x"
  expect_equal "$status $(header WWW-Authenticate)" '401 Basic realm="Merovane card", charset="UTF-8"' "a wrong password"
  request "$program_url/set" "${anonymous[@]}" --data-urlencode "${valid_form[0]}"
  expect_equal "$status" 401 "an applied form without the password"
  request "$program_url/reboot" "${anonymous[@]}" --data submitbutton=Reboot -H "Referer: http://$host$program_url/uploadstatus"
  expect_equal "$status" 401 "a reboot without the password"
  ! wait_for_file "$site/card/var/log/reboot.log" 3 || fail "the reboot command ran"
  [[ ! -e $site/card/var/log/changes.log ]] || fail "a change program ran"
  request "$program_url/cardcontrol"
  expect_equal "$(header X-Frame-Options)|$(header Content-Security-Policy)" "DENY|frame-ancestors 'none'" \
    "the server's headers against framing"
}

case ${1:-} in
  routes | set-leaving) run=("case_${1//-/_}") ;;
  set-urlencoded) run=(case_set --data-urlencode) ;;
  set-multipart) run=(case_set --form-string) ;;  # curl -F, taken literally
  *) echo "usage: integration.sh routes|set-urlencoded|set-multipart|set-leaving" >&2 && exit 2 ;;
esac
site_up card-site --user "$MEROVANE_WEB_USER" --password "$MEROVANE_WEB_PASSWORD" && "${run[@]}"
