#!/usr/bin/env bash
# flow.sh lighttpd|busybox|apache|nginx [load] (through ctest): one short visit with curl behind the
# server started from its file in docs/, on a fresh sample card and a free loopback port: the
# static page, a rejected form, an Apply whose page arrives while its change program waits, another
# site's form, the update status page and its Reboot. With "load", then the load (see load).
set -uo pipefail
PATH=$PATH:/usr/sbin
server=${1:-} docs=$MEROVANE_SOURCE_DIR/docs user=$MEROVANE_WEB_USER password=$MEROVANE_WEB_PASSWORD
program=/cgi-bin/Merovane scheme=http tls=() pids=()

fail() { echo "FAIL: $*" | tee -a "$work/failures" >&2; }  # (also from the load's clients)
expect() { [[ $1 == "$2" ]] || fail "$3: got $(printf '%q' "$1"), expected $(printf '%q' "$2")"; }
eventually() {  # COMMAND...: polled for at most $within (60) s, a bound for a busy machine
  for ((wait = 0; wait < ${within:-60} * 10; wait++)); do "$@" && return 0; sleep 0.1; done; "$@"
}
spawn() { setsid "$@" & pids+=($!); }  # a session of its own: Apache's prefork signals its group
from_doc() { sed -e "$2" "$docs/$1" > "$site/server/$1"; }  # FILE SED-SCRIPT

start_lighttpd() {  # over TLS, plain HTTP on the next port redirecting to it
  "$MEROVANE_SOURCE_DIR/scripts/card-site" certificate "$site/etc/lighttpd" > /dev/null || exit 1
  scheme=https tls=(--cacert "$site/etc/lighttpd/card.crt")
  from_doc lighttpd.conf "s|^var.card_root = \"\"|var.card_root = \"$site\"|;
    s|^server.port = 443\$|server.bind = \"127.0.0.1\"\nserver.port = $port|;
    s|\"socket\"\] == \":80\"|\"socket\"] == \"127.0.0.1:$((port + 1))\"|"
  spawn lighttpd -D -f "$site/server/lighttpd.conf"
  cgi_stderr() { cat "$site/var/log/merovane-stderr.log"; }
}
start_busybox() {  # no framing headers, includes/ served
  from_doc busybox-httpd.conf "s|^/cgi-bin:.*|/cgi-bin:$user:$(busybox httpd -m "$password")|"
  spawn env -i "$(command -v busybox)" httpd -f -p "$host" ${root:+-u www-data} -h "$site/www" \
    -c "$site/server/busybox-httpd.conf" 2> "$site/server/busybox.log"
  cgi_stderr() { cat "$site/server/busybox.log"; }
}
start_apache() {  # over TLS
  "$MEROVANE_SOURCE_DIR/scripts/card-site" certificate "$site/etc/ssl/card" > /dev/null || exit 1
  scheme=https tls=(--cacert "$site/etc/ssl/card/card.crt")
  from_doc apache2.conf "$under_site; s|shmcb:/|shmcb:$site/|; s|^Listen 443\$|Listen $host|;
    s|^ServerName card:443|ServerName $host|"
  spawn apache2 -f "$site/server/apache2.conf" -DFOREGROUND
  cgi_stderr() { grep -h AH01215 "$site/var/log/apache2/card-error.log"; }
}
start_nginx() {  # fcgiwrap as the file's first lines start it, as the server's user
  from_doc nginx.conf "$under_site; s|listen 80;|listen $host;|; s|unix:/run/|unix:$site/run/|"
  read -ra fcgiwrap < <(sed -n 's/^#   fcgiwrap /fcgiwrap /p' "$site/server/nginx.conf")
  spawn ${root:+setpriv --reuid=www-data --regid=www-data --init-groups} "${fcgiwrap[@]}"
  spawn nginx -c "$site/server/nginx.conf" -g 'daemon off;'
  cgi_stderr() { grep -h "FastCGI sent in stderr" "$site/var/log/nginx/card-error.log"; }
}

# The server goes; the program wrote nothing to standard error, its log the one refusal (and the
# designed line of a progress file another request had set aside first).
site_down() {
  local status=$? pid
  trap - EXIT
  for pid in "${pids[@]}"; do kill -- "-$pid" && wait "$pid"; done 2> /dev/null
  expect "$(cgi_stderr)" "" "the program's standard error"
  expect "$(grep -v "^unable to unlink [^ ]*/tmp/progress uid=[0-9]* euid=[0-9]*.$" \
    "$site/card/tmp/wwwError.txt")" \
    "refused a set request from origin http://evil.example to host $host" "the error log"
  [[ -s $work/failures ]] && status=1
  rm -rf "$work"
  exit "$status"
}

# PATH [CURL-OPTION...]: $status (000 for no HTTP answer; then " cut" when curl failed, as on an
# answer cut short), $headers (no CR), $body; in files of the load's client, if any.
request() {
  local file=$work/body${client:-}
  : > "$file"
  status=$(curl -s -o "$file" -D "$file.headers" -w '%{http_code}' --max-time 60 \
    --user "$user:$password" "${tls[@]}" "${@:2}" "$scheme://$host$1") || status+=" cut"
  headers=$(tr -d '\r' < "$file.headers") body=$(tr -d '\0' < "$file")
}
header() { sed -n "s/^$1: //Ip" <<< "$headers" | head -n 1; }
has() { grep -qF -- "$1" <<< "$body" && echo "$2"; }
value() { cat "$site/card/brix/conf/$1.conf"; }

declare -A tools=([lighttpd]=lighttpd [busybox]=busybox [apache]=apache2 [nginx]="nginx fcgiwrap")
for tool in ${tools[$server]:?"usage: $0 lighttpd|busybox|apache|nginx"} curl openssl; do
  command -v "$tool" > /dev/null ||  # a skip that names the tool's Debian package (its own name)
    { echo "$tool is missing: install the Debian package $tool" >&2 && exit 77; }
done
root=$([[ $(id -u) -eq 0 ]] && echo yes)
work=$(mktemp -d "${TMPDIR:-/tmp}/merovane-web-XXXXXX") && site=$work/site
chmod 755 "$work"  # the program's user 1006 and the server's must pass
"$MEROVANE_SOURCE_DIR/scripts/card-site" install "$site" "$MEROVANE_PROGRAM" "$MEROVANE_PICS" ||
  exit 1
mkdir -p "$site"/{etc/{apache2,nginx,lighttpd},run/apache2,var/{log/{apache2,nginx},lib/nginx}}
hash=$(openssl passwd -5 "$password")  # the user files, read by the server's user
for folder in apache2 nginx lighttpd; do echo "$user:$hash" > "$site/etc/$folder/card.users"; done
# As root, as the docs have it: the server as www-data (logs, sockets), the program set-user-ID.
[[ -z $root ]] || chown -R www-data "$site/var/log" "$site/run" &&
  chmod 4755 "$site/www/cgi-bin/Merovane"
for ((try = 0; try < 20; try++)); do  # a free port
  port=$((20000 + RANDOM % 40000))  # and the next one, lighttpd's plain HTTP
  { : < "/dev/tcp/127.0.0.1/$port"; } 2> /dev/null ||
    { : < "/dev/tcp/127.0.0.1/$((port + 1))"; } 2> /dev/null || break
done
host=127.0.0.1:$port under_site="s|\"/|\"$site/|g"  # under_site: every quoted path
trap site_down EXIT
# A watcher in a session of its own stops what runs from the site and removes the folder once this
# script has gone, even killed with its process group at ctest's time-out.
setsid -f sh -c 'while kill -0 "$0"; do sleep 1; done; pkill -f "$1/(server|run)/"; rm -rf "$2"' \
  "$$" "$site" "$work" > /dev/null 2>&1
"start_$server" > "$site/server/start.log" 2>&1
up() { request /index.html && [[ $status != 000 ]]; }
eventually up || { cat "$site/server/start.log" >&2 && fail "$server did not start" && exit; }

request "$program/cardcontrol"  # the static page; the framing headers
expect "$status $(has '<h2>Card control</h2>' page)" "200 page" "the static page"
[[ $server == busybox ]] || expect "$(header X-Frame-Options)|$(header Content-Security-Policy)" \
  "DENY|frame-ancestors 'none'" "the headers against framing"
[[ $server != lighttpd ]] || {  # plain HTTP only sends the browser to https, before any password
  status=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' \
    "http://127.0.0.1:$((port + 1))$program/x?a")
  expect "$status" "302 https://127.0.0.1$program/x?a" "plain HTTP"
}
request "$program/cardcontrol" -H Authorization:
expect "$status" 401 "without the password"
[[ $server == busybox ]] || { request /includes/pageHeader.html && expect "$status" 403 includes/; }

own=(-H "Origin: $scheme://$host" -H "Referer: $scheme://$host$program/cardcontrol")
request "$program/set" "${own[@]}" --data 'oid-temp_alarm.conf=hot'
expect "$status $(has 'name="oid-temp_alarm.conf"' form) $(value temp_alarm)" \
  "200 form TEMP_ALARM=65.5" "a rejected form"

setparam=$site/card/brix/bin/setparam  # waits for the test (at most 60 s), then applies
mv "$setparam" "$setparam.real" && cat > "$setparam" << SCRIPT && chmod 755 "$setparam"
#!/bin/sh -p
for n in \$(/usr/bin/seq 600); do [ -e "$site/card/tmp/go" ] && break; /bin/sleep 0.1; done
exec "\$0.real" "\$@"
SCRIPT
curl -sN --compressed -o "$work/apply" --max-time 90 --user "$user:$password" "${tls[@]}" \
  "${own[@]}" --data 'oid-card_name.conf=Rack+7' "$scheme://$host$program/set" & apply=$!
within=30 eventually grep -qsF 'Setting network configuration' "$work/apply" ||
  fail "the network settings page waited for the change program"
expect "$(value card_name)" "NAME=Studio A frame 3" "the name while its change program waits"
touch "$site/card/tmp/go"
wait "$apply" || fail "curl ended the Apply with status $?"
eventually grep -qx "NAME=Rack 7" "$site/card/brix/conf/card_name.conf" ||
  fail "the name was not applied: $(value card_name)"

request "$program/set" -H "Origin: http://evil.example" -H "Referer: http://evil.example/" \
  --data 'oid-card_name.conf=Evil'  # (by its Referer where the server passes no Origin)
expect "$status $(value card_name)" "403 NAME=Rack 7" "another site's form"

request "$program/uploadstatus"
expect "$status $(has progressbar page)" "200 page" "the status page"
request "$program/reboot" -H "Referer: $scheme://$host$program/uploadstatus"
expect "$status|$(header Refresh)" "200|30; $scheme://$host" "Reboot"
eventually test -s "$site/card/var/log/reboot.log" || fail "the reboot command did not run"

[[ ${2:-} == load ]] || exit 0
# Under load: 8 clients at once for MEROVANE_LOAD_SECONDS (20) send valid forms of values of their
# own, the progress feed and the status page in turn while simulated updates run (what else the
# program serves shares nothing load could break). Every answer is whole and of its route's kind
# (their bytes: the whole-request tests); then each value file is one line of a value sent, every
# form applied ran each change program once and the refresh once, and no process is left.
includes=$site/www/includes head=$(cat "$includes/pageHeader.html" "$includes/generalHeader.html")
foot=$(cat "$includes/pageFooter.html") percentage="</>percentage=[0-9]+"$'\r'
feed="^(0</>stop=0$percentage|5|0</>stop=1</>msg=Upload complete$percentage)$"
framed() { [[ $body == "$head"*"$1"*"$foot" ]]; }  # a card page, whole, holding $1
load_client() {  # NUMBER
  local client=$1 n field oid key value parts box fields kind
  for ((n = 0; SECONDS < load_end; n++)); do
    case $(((client + n) % 4)) in
      1) kind=feed && request "$program/uploadupdate" --data loadtype=upload &&
        [[ $body =~ $feed ]] ;;
      3) kind=status && request "$program/uploadstatus" &&
        { framed "Update in progress" || framed "Upload Complete" || framed "Unable to read"; } ;;
      *) kind=set fields=()
        for field in "frame_ip IPADDR 127.$client.$((n / 250 % 256)).$((n % 250 + 1))" \
          "netmask NETMASK 255.$((n % 2 * 255)).0.0" "gateway GATEWAY 127.0.0.$((client + 1))" \
          "use_dhcp DHCP $((n % 2))" "card_name NAME $client $n <>&\"'%+=;/\\#?" \
          "ref_source REFERENCE $((n % 3))" "fan_mode FAN $((n / 2 % 2))" \
          "temp_alarm TEMP_ALARM $((n % 99)).25"; do  # noted as applied before it goes
          read -r oid key value <<< "$field"
          echo "$oid $key=${value/%.25/.250000}" >> "$work/sent"  # (the decimal: six places)
          case $oid in
            frame_ip | netmask | gateway) IFS=. read -ra parts <<< "$value"  # in four boxes
              for box in 0 1 2 3; do
                fields+=(--data-urlencode "${box}oid-$oid.conf=${parts[box]}")
              done ;;
            *) fields+=(--data-urlencode "oid-$oid.conf=$value") ;;
          esac
        done
        request "$program/set" "${own[@]}" "${fields[@]}" && framed "Setting network configuration"
        ;;
    esac && [[ $status == 200 ]] ||
      { fail "$kind: $status ${body:0:150}...${body: -300}" && continue; }
    [[ $kind == set ]] || kind=$([[ $body == *stop=0* || $body == *"in progress"* ]] &&
      echo running || echo ended)
    echo "$kind" >> "$work/answers"
  done
}
lines() { cat "$@" 2> /dev/null | wc -l; }
gone() { ! find /proc -mindepth 2 -maxdepth 2 -name cwd -lname "$site/*" 2> /dev/null | grep -q .; }
eventually gone && logs=("$site/card/var/log/changes.log" "$site/card/var/log/refresh.log")
changes=$(lines "${logs[0]}") refreshes=$(lines "${logs[1]}") clients=()
load_end=$((SECONDS + ${MEROVANE_LOAD_SECONDS:-20}))
(while [[ ! -e $work/stop ]]; do  # simulated updates, a while for each one's ended answers
  "$site/card/brix/bin/simulate-update" --steps 6 --step 0.3 && sleep 1; done > /dev/null) &
updates=$!
for c in 0 1 2 3 4 5 6 7; do load_client "$c" & clients+=($!); done
wait "${clients[@]}"
touch "$work/stop" && wait "$updates"
answers() { grep -cx "$1" "$work/answers"; }
echo "whole answers from 8 clients: set $(answers set), progress running $(answers running)," \
  "ended $(answers ended)"
(($(answers running) > 0 && $(answers ended) > 0)) ||
  fail "the progress routes did not see both running and ended updates"
for oid in frame_ip netmask gateway use_dhcp card_name ref_source fan_mode temp_alarm; do
  [[ $(lines "$site/card/brix/conf/$oid.conf") == 1 ]] &&
    grep -qxF "$oid $(value "$oid")" "$work/sent" || fail "value file $oid.conf: $(value "$oid")"
done
eventually gone || fail "processes left behind"
expect "$(($(lines "${logs[0]}") - changes)) $(($(lines "${logs[1]}") - refreshes))" \
  "$((8 * $(answers set))) $(answers set)" "change records and refreshes"
