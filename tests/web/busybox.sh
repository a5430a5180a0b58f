#!/usr/bin/env bash
# The program behind BusyBox httpd 1.35 where it differs from lighttpd (integration.sh): an empty PATH_INFO for the
# bare URL, a bare "Location:" passed on with status 200, no answer to an empty response, authentication by its
# configuration's line, the forms it passes on, and a client leaving (it closes the pipe: SIGPIPE).
#   busybox.sh static|set-urlencoded|set-multipart|set-leaving|auth
source "$(dirname "$0")/common.sh"
require busybox curl

case_static() {
  local path
  request "$program_url/cardcontrol"
  expect_equal "$status" 200 "GET $program_url/cardcontrol"
  # The bare URL and unknown routes: the redirect, with status 200 and no body. A trailing slash is BusyBox's own
  # 404. The feed answers a GET with nothing: no answer at all.
  for path in "$program_url" "$program_url/nowhere"; do
    request "$path"
    expect_equal "$status|$(header Location)|$body" "200|http://$host$program_url|" "GET $path"
  done
  request "$program_url/"
  expect_equal "$status" 404 "GET $program_url/"
  request "$program_url/uploadupdate"
  expect_equal "$status" 000 "GET $program_url/uploadupdate"
}

case_auth() {  # the "/cgi-bin:user:password" line
  local check
  for check in "401" "401 --user user:wrong" "200 --user user:password"; do
    request "$program_url/cardcontrol" ${check#???}
    expect_equal "$status" "${check%% *}" "GET $program_url/cardcontrol ${check#???}"
  done
}

auth=()
case ${1:-} in
  static | set-leaving) run=("case_${1//-/_}") ;;
  set-urlencoded) run=(case_set --data-urlencode) ;;
  set-multipart) run=(case_set --form-string) ;;  # curl -F, taken literally
  auth) run=(case_auth) auth=(--auth user:password) ;;
  *) echo "usage: busybox.sh static|set-urlencoded|set-multipart|set-leaving|auth" >&2 && exit 2 ;;
esac
site_up busybox-site "${auth[@]}" && "${run[@]}"
