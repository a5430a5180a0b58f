#!/usr/bin/env bash
# The program behind a real web server on a fresh sample card (free loopback port), curl as the
# client: what only the server shows (its status codes, authentication, headers), not the pages. A
# client that leaves before its form arrived (a body shorter than declared) or while it is applied
# (the response closed, or the request ended by a signal) is the whole-request tests' and the
# browser's.
#   servers.sh lighttpd routes|tls|demo, or busybox static
# (run through ctest, which sets MEROVANE_SOURCE_DIR, MEROVANE_PROGRAM and MEROVANE_PICS)
set -uo pipefail
scheme=http tls=()  # tls: curl's options that trust the site's certificate, over TLS
# credentials: curl's --user option, when the server asks
program_url=/cgi-bin/Merovane credentials=() failures=0

fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
expect_equal() {
  [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"
}

# CASE SERVER-SCRIPT [START-OPTIONS...]: case_CASE on a fresh site ($site, $host; over TLS the
# plain-HTTP port in $http_port); then the site goes, and the program's error log and its standard
# error (sanitizer reports among it) must be empty.
run_case() {
  declare -F "case_${1//-/_}" > /dev/null ||
    { echo "usage: $0 lighttpd|busybox CASE" >&2 && exit 2; }
  local run=case_${1//-/_} && server=$2
  work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX") && site=$work/site
  chmod 755 "$work"  # the program's user 1006 must pass
  trap site_down EXIT
  "$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" ||
    exit 1
  [[ $1 != tls ]] || scheme=https tls=(--cacert "$work/tls/card.crt")
  ports=$("$MEROVANE_SOURCE_DIR/scripts/$server" start --owner $$ ${tls:+--tls "$work/tls"} \
    "${@:3}" "$site") || exit 1
  read -r port http_port <<< "$ports" && host=127.0.0.1:$port
  "$run"; exit
}
site_down() {
  local status=$? log
  trap - EXIT
  "$MEROVANE_SOURCE_DIR/scripts/$server" stop "$site" > /dev/null 2>&1
  for log in card/tmp/wwwError.txt server/cgi-stderr.log; do
    [[ ! -s $site/$log ]] || fail "$log: $(cat "$site/$log")"
  done
  rm -rf "$work"
  exit $((failures ? 1 : status))
}

request() {  # PATH [CURL-OPTION...]: $status (000 for no HTTP answer), $headers (CR removed), $body
  status=$(curl -s -o "$work/body" -D "$work/headers" -w '%{http_code}' --max-time 60 \
    "${credentials[@]}" "${tls[@]}" "${@:2}" "$scheme://$host$1")
  # (no NUL bytes of an image in a variable)
  headers=$(tr -d '\r' < "$work/headers") body=$(tr -d '\0' < "$work/body")
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }

# lighttpd (mod_cgi), logged in as the site's user.
# STATUS PATH...: 401 without the password, else STATUS; a redirect leads to the program's URL.
expect_routes() {
  for path in "${@:2}"; do
    request "$path" -H Authorization:  # (curl then sends no password)
    expect_equal "$status" 401 "GET $path without the password"
    request "$path"
    expect_equal "$status" "$1" "GET $path"
    [[ $1 != 302 ]] ||
      expect_equal "$(header Location)" "http://$host$program_url" "GET $path: Location"
  done
}
case_routes() {
  # The bare URL is the static page, unknown routes redirect, the feed's empty GET answer is a 500,
  # fragments a 403.
  expect_routes 200 $program_url{,/cardcontrol,/upload,/snmpconf,/reboot,/set,/uploadstatus} / \
    /css/card.css /pics/progressbar.gif
  expect_routes 302 \
    $program_url/{,nowhere,logon,navigator,pollcard,click,logout,pollnavigator,account,delcard}
  expect_routes 500 $program_url/uploadupdate
  expect_routes 403 /includes/pageHeader.html
  request "$program_url" --user "$MEROVANE_WEB_USER:${MEROVANE_WEB_PASSWORD}x"
  expect_equal "$status $(header WWW-Authenticate)" \
    '401 Basic realm="Merovane card", charset="UTF-8"' "a wrong password"
  request "$program_url/cardcontrol"
  expect_equal "$(header X-Frame-Options)|$(header Content-Security-Policy)" \
    "DENY|frame-ancestors 'none'" "the server's headers against framing"
}

# lighttpd over TLS (mod_openssl) with the site's own certificate, which curl trusts: the redirect
# sends the browser to https, and plain HTTP is sent to https before it is asked for the password.
# Apply, the status page's Reboot and the rebooting page over https are the browser tests'.
case_tls() {
  request "$program_url/nowhere"
  expect_equal "$status $(header Location)" "302 https://$host$program_url" "the redirect"
  scheme=http host=127.0.0.1:$http_port request "$program_url/cardcontrol?a=1" \
    -H "Host: card.example:$http_port"
  expect_equal "$status $(header Location)" \
    "302 https://card.example:$port$program_url/cardcontrol?a=1" "plain HTTP"
}

# The demo refuses before it prints or builds anything: a port that another server (the test's)
# holds, a login that BusyBox httpd cannot take, an update option that is no number.
case_demo() {
  local port=${host##*:} taken
  taken="Port $port of 127.0.0.1 is in use: choose another with --port"
  demo_refuses 1 "$taken" --http --port "$port"
  demo_refuses 1 "$taken" --busybox --port "$port"
  demo_refuses 2 '--password: BusyBox httpd cannot take a password with a space and "#"' \
    --busybox --password "a 3#"
  demo_refuses 2 "--fail needs a number from 0 to 255" update --fail abc
}
demo_refuses() {  # STATUS MESSAGE ARGUMENT...: the demo ends with STATUS, MESSAGE and no output
  "$MEROVANE_SOURCE_DIR/scripts/demo" "${@:3}" > "$work/out" 2> "$work/err"
  expect_equal "$?|$(cat "$work/out")|$(grep -cF -- "$2" "$work/err")" "$1||1" \
    "demo ${*:3}: $(cat "$work/err")"
}

# BusyBox httpd 1.35 where it differs from lighttpd: an empty PATH_INFO for the bare URL, a bare
# "Location:" passed on with status 200, authentication by its configuration's
# "/cgi-bin:user:password" line. (An empty response: lighttpd's 500 in case_routes.)
case_static() {
  for path in "$program_url" "$program_url/nowhere"; do  # the redirect, status 200, no body
    request "$path"
    expect_equal "$status|$(header Location)|$body" "200|http://$host$program_url|" "GET $path"
  done
  for wrong in "-H Authorization:" "--user user:wrong"; do  # without the password, with a wrong one
    request "$program_url/cardcontrol" $wrong
    expect_equal "$status" 401 "GET $program_url/cardcontrol $wrong"
  done
}

if [[ ${1:-} == lighttpd ]]; then
  [[ ${2:-} != tls || -e /usr/lib/lighttpd/mod_openssl.so || $(id -u) -eq 0 ]] ||
    {
      echo "lighttpd's TLS module is missing: install the Debian package lighttpd-mod-openssl" >&2
      exit 77
    }
  credentials=(--user "${MEROVANE_WEB_USER:?}:${MEROVANE_WEB_PASSWORD:?}")
  run_case "${2:-}" card-site --user "$MEROVANE_WEB_USER" --password "$MEROVANE_WEB_PASSWORD"
fi
[[ ${1:-} == busybox ]] && credentials=(--user user:password) &&
  run_case "${2:-}" busybox-site --auth user:password
run_case ""  # usage
