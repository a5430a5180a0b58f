# shellcheck shell=bash
# Helpers of the tests against the real web server: a fresh copy of the
# sample card served by lighttpd on a free loopback port, requests with curl,
# and checks that fail the test with a message. Sourced by integration.sh.

: "${MEROVANE_SOURCE_DIR:?run through ctest}" "${MEROVANE_PROGRAM:?}" "${MEROVANE_PICS:?}"
card_site=$MEROVANE_SOURCE_DIR/scripts/card-site
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A tool that is missing: a failure as root (the test command installs it),
# a skip (exit 77) for an ordinary user, who is told what to install.
require_tool() {
  local tool=$1 package=$2
  command -v "$tool" > /dev/null 2>&1 || [[ -x /usr/sbin/$tool ]] && return 0
  if [[ $(id -u) -eq 0 ]]; then
    echo "FAIL: $tool is missing (Debian package $package; ./scripts/test installs it)" >&2
    exit 1
  fi
  echo "SKIP: $tool is missing: install the Debian package $package" >&2
  exit 77
}

# Lays out a fresh site and starts lighttpd on it: sets $site, $port, $base.
site_up() {
  require_tool lighttpd lighttpd
  require_tool curl curl
  work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX")
  chmod 755 "$work"  # the program's user 1006 must pass
  site=$work/site
  "$card_site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS"
  port=$("$card_site" start --owner $$ "$site")
  base=http://127.0.0.1:$port
  host=127.0.0.1:$port
  trap site_down EXIT
}

# Stops the server, looks for sanitizer reports in what the program wrote to
# its standard error, and removes the copy.
site_down() {
  local status=$?
  trap - EXIT
  "$card_site" stop "$site" || true
  if grep -E -q 'AddressSanitizer|LeakSanitizer|runtime error:' "$site/server/cgi-stderr.log" 2> /dev/null; then
    fail "the program reported a sanitizer error:"
    grep -E -A20 'AddressSanitizer|LeakSanitizer|runtime error:' "$site/server/cgi-stderr.log" >&2
  fi
  if [[ $failures -ne 0 || $status -ne 0 ]]; then
    echo "--- server error log" >&2
    cat "$site/server/error.log" >&2 || true
    echo "--- the program's standard error" >&2
    cat "$site/server/cgi-stderr.log" >&2 || true
    echo "--- program error log (card/tmp/wwwError.txt)" >&2
    cat "$site/card/tmp/wwwError.txt" >&2 || true
  fi
  rm -rf "$work"
  if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  exit "$status"
}

# request METHOD PATH [curl options...]: the response in $status, $headers
# (CR removed) and $body (the exact bytes, in the file $body_file).
request() {
  local method=$1 path=$2
  shift 2
  body_file=$work/body
  status=$(curl -s -S -X "$method" -o "$body_file" -D "$work/headers" -w '%{http_code}' --max-time 30 \
    "$@" "$base$path") || fail "curl $method $path failed"
  headers=$(tr -d '\r' < "$work/headers")
  body=$(cat "$body_file"; printf x)
  body=${body%x}
}

header() {  # the value of one response header, by its name in any case
  printf '%s\n' "$headers" | awk -v name="$1" 'tolower($0) ~ "^" tolower(name) ":" { sub(/^[^:]*: */, ""); print; exit }'
}

expect_status() {
  [[ $status == "$1" ]] || fail "$2: HTTP status $status, expected $1"
}

expect_contains() {  # TEXT NEEDLE WHAT
  [[ $1 == *"$2"* ]] || fail "$3: missing $(printf '%q' "$2")"
}

expect_lacks() {  # TEXT NEEDLE WHAT
  [[ $1 != *"$2"* ]] || fail "$3: holds $(printf '%q' "$2")"
}

expect_equal() {  # ACTUAL EXPECTED WHAT
  [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"
}

card_file() { printf '%s' "$site/card/$1"; }
first_line() { head -n 1 "$(card_file "$1")" 2> /dev/null; }

# wait_for_file PATH SECONDS: whether the file exists within that time.
wait_for_file() {
  local path=$1 tenths=$(($2 * 10))
  for ((i = 0; i < tenths; i++)); do
    [[ -s $path ]] && return 0
    sleep 0.1
  done
  return 1
}

# The static page as the program must send it: the three fragments in order.
static_page() {
  cat "$site/www/includes/pageHeader.html" "$site/www/includes/staticPage.html" "$site/www/includes/pageFooter.html"
  printf x
}
