#!/usr/bin/env python3
"""The program under load behind lighttpd on the loopback.

Several clients at once send a fixed number of requests each, logged in:
valid and rejected forms to /set (URL-encoded and multipart, random values),
the progress feed and status page while simulated updates run, the static
page, files, redirects, and a few requests without the password. Every answer
must be one of its route's designed answers. Afterwards every value file
holds one whole line with one of the values sent, every change program and
refresh ran, the logs hold nothing undesigned and no process of the program
is left. Prints the request count, requests per second and failures.
"""
import base64, html, http.client, os, random, re, shutil, subprocess, sys, tempfile, threading, time
from urllib.parse import urlencode

CLIENTS, REQUESTS = 8, 60  # requests per client
env = os.environ
source, program, pics = env["MEROVANE_SOURCE_DIR"], env["MEROVANE_PROGRAM"], env["MEROVANE_PICS"]
login = env["MEROVANE_WEB_USER"] + ":" + env["MEROVANE_WEB_PASSWORD"]
URL = "/cgi-bin/Merovane"

if not (shutil.which("lighttpd") or os.path.exists("/usr/sbin/lighttpd")):
    print("lighttpd is missing: install the Debian package lighttpd", file=sys.stderr)
    sys.exit(1 if os.getuid() == 0 else 77)

seed = int(env.get("MEROVANE_LOAD_SEED", time.time_ns() % 10**6))
print(f"seed {seed} (MEROVANE_LOAD_SEED)")
failures, lock = [], threading.Lock()
progress_seen = {"running": 0, "ended": 0}  # answers of the progress routes


def fail(text):
    with lock:
        failures.append(text)


# The parameters of the form: value file key, label, factory value. The
# values of applied forms are noted in `sent` (under the lock) before they go.
PARAMS = {"frame_ip": ("IPADDR", "IP Address", "127.0.0.1"), "netmask": ("NETMASK", "Subnet Mask", "255.0.0.0"),
          "gateway": ("GATEWAY", "Gateway", "127.0.0.254"), "use_dhcp": ("DHCP", "DHCP", "0"),
          "card_name": ("NAME", "Card Name", "Studio A frame 3"), "ref_source": ("REFERENCE", "Reference", "1"),
          "fan_mode": ("FAN", "Fan Mode", "0"), "temp_alarm": ("TEMP_ALARM", "Temp. Alarm (C)", "65.5")}
sent = {oid: set() for oid in PARAMS}
shown = {oid: set() for oid in ("frame_ip", "card_name", "temp_alarm")}  # values the rejected forms showed
NAME_CHARS = "abcXYZ019 <>&\"'%+=;/\\#?"


def random_form(rng, rejected):
    """Fields of a form, the values it applies, and the messages it must get."""
    values = {"frame_ip": f"127.{rng.randrange(256)}.{rng.randrange(256)}.{rng.randrange(1, 255)}",
              "netmask": rng.choice(["255.0.0.0", "255.255.0.0", "255.255.255.0"]),
              "gateway": f"127.0.{rng.randrange(256)}.{rng.randrange(1, 255)}", "use_dhcp": rng.choice("01"),
              "card_name": "".join(rng.choice(NAME_CHARS) for _ in range(rng.randrange(1, 50))),
              "ref_source": rng.choice("012"), "fan_mode": rng.choice("01"),
              "temp_alarm": f"{rng.uniform(-20, 120):.2f}"}
    messages = {}
    for oid in rng.sample(list(PARAMS)[:-1], rng.randrange(1, 4)) if rejected else []:
        bad = {"frame_ip": f"127.0.0.{rng.randrange(256, 1000)}", "netmask": "255.255.255.x",
               "gateway": "127.0.0.x", "card_name": "", "use_dhcp": "1x", "ref_source": "-1", "fan_mode": "2a"}[oid]
        values[oid] = bad
        messages[oid] = f'<div class="errorText">Invalid value "{bad}" for parameter: {PARAMS[oid][1]}</div>\r\n'
    fields = []
    for oid, value in values.items():
        if oid in ("frame_ip", "netmask", "gateway"):
            fields += [(f"{box}oid-{oid}.conf", part) for box, part in enumerate(value.split(".")) if part]
        else:
            fields.append((f"oid-{oid}.conf", value))
    rng.shuffle(fields)
    return fields, values, [messages[oid] for oid in PARAMS if oid in messages]


def encode(rng, fields):
    if rng.random() < 0.5:
        return "application/x-www-form-urlencoded", urlencode(fields).encode()
    boundary = f"----load{rng.randrange(10**12)}"
    body = "".join(f'--{boundary}\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'
                   for name, value in fields) + f"--{boundary}--\r\n"
    return f"multipart/form-data; boundary={boundary}", body.encode()


def main():
    work = tempfile.mkdtemp(prefix="merovane-load-")
    os.chmod(work, 0o755)  # the program's user 1006 must pass
    site = os.path.join(work, "site")
    card_site = os.path.join(source, "scripts", "card-site")
    subprocess.run([card_site, "install", site, program, pics], check=True)
    user, password = login.split(":", 1)
    port = subprocess.run([card_site, "start", "--owner", str(os.getpid()), "--user", user, "--password", password,
                           site], check=True, capture_output=True, text=True).stdout.strip()
    try:
        elapsed, applied = run(site, int(port))
    finally:
        subprocess.run([card_site, "stop", site])
        check_logs(site)
        shutil.rmtree(work, ignore_errors=True)
    count = CLIENTS * REQUESTS
    print(f"{count} requests from {CLIENTS} clients in {elapsed:.1f} s: {count / elapsed:.1f} requests/s; "
          f"{applied} forms applied; progress answers {progress_seen}; {len(failures)} failures")
    for text in failures[:20]:
        print("FAIL:", text, file=sys.stderr)
    sys.exit(1 if failures else 0)


def read(path, mode="r"):
    with open(path, mode) as file:
        return file.read()


def run(site, port):
    host = f"127.0.0.1:{port}"
    includes = lambda *names: "".join(read(f"{site}/www/includes/{name}.html") for name in names)
    static_page = includes("pageHeader", "staticPage", "pageFooter")
    head, foot = includes("pageHeader", "generalHeader"), includes("pageFooter")
    done_bar = '<div class="progressbar"><img src="/pics/progressbar-done.gif"/></div>'
    message = '<div class="progressbar-message">%s</div>'
    error = message % 'Error:&nbsp;&nbsp;<span class="errorText">%s</span>'
    status_pages = {head + middle + foot for middle in (
        '<meta http-equiv="refresh" content="2"/><div class="progressbar"><img src="/pics/progressbar.gif"/></div>'
        + message % "Update in progress",
        done_bar + message % "Upload Complete",
        done_bar + message % "Upload Complete" + '<form action="/cgi-bin/Merovane/reboot" method="post"><center>\n'
        '<div style="width: 400px; text-align: center;">You will need to reboot the frame for the changes to take '
        'effect.<br/><br/>\n<input style="width: 100%;" type="submit" name="submitbutton" value="Reboot"/></div>'
        '</center>\n</form>\n',
        done_bar + error % "Invalid tar file", done_bar + error % "Unable to read progress file")}
    # The default update completes, the controller update fails with error 3;
    # "5" and "Unable to read" are the answers when another request deleted
    # the ended file between the look and the read.
    feed = {"upload": r"0</>stop=0</>percentage=\d+\r\n|0</>stop=1</>msg=Upload complete</>percentage=100\r\n|5",
            "ppcupload": r"0</>stop=0</>percentage=\d+\r\n|0</>stop=1</>msg=Invalid tar file</>percentage=\d+\r\n"
                         r"|0</>stop=1</>msg=Upload complete</>percentage=100\r\n|5"}
    files = {"/": read(f"{site}/www/index.html"), "/css/card.css": read(f"{site}/www/css/card.css"),
             "/js/card.js": read(f"{site}/www/js/card.js")}
    redirects = ["/", "/logon", "/navigator", "/pollcard", "/click", "/logout", "/pollnavigator", "/account",
                 "/delcard", "/SET", "/set/"]
    valid_sets = [0]

    def settings_page(values):
        address = values["frame_ip"]
        forward = ('<p align="center"><strong>WARNING:</strong> Page does not forward automatically when DHCP is '
                   'used.</p>') if values["use_dhcp"] == "1" else (
            f"\n<script language=\"javascript\">\n\tdocument.location.href = 'http://{address}';\n</script>\n"
            f'<p align="center">If the page does not automatcially forward, please <a href="http://{address}">'
            'click here</a>.</p>')
        return head + '<p align="center">Setting network configuration...</p>' + forward + foot

    def one(rng, client):
        kind = rng.choices(["set", "rejected", "feed", "status", "page", "file", "redirect", "anonymous"],
                           [15, 15, 20, 15, 12, 8, 10, 5])[0]
        method, path, body, headers = "GET", URL, None, {"Authorization": "Basic " + base64.b64encode(
            login.encode()).decode()}
        status, accept = 200, None  # the designed status, and whether a body is one of the designed answers
        if kind in ("set", "rejected"):
            fields, values, messages = random_form(rng, kind == "rejected")
            content_type, body = encode(rng, fields)
            method, path, headers["Content-Type"] = "POST", URL + "/set", content_type
            if kind == "set":
                with lock:
                    for oid, value in values.items():
                        sent[oid].add(value)
                    valid_sets[0] += 1
                accept = settings_page(values).__eq__
            else:
                accept = lambda text: rejected_page(text, messages)
        elif kind == "feed":
            loadtype = rng.choice(list(feed))
            method, path, body = "POST", URL + "/uploadupdate", f"loadtype={loadtype}".encode()
            headers["Content-Type"] = "application/x-www-form-urlencoded"
            accept = lambda text: re.fullmatch(feed[loadtype], text)
        elif kind == "status":
            path, accept = URL + "/uploadstatus" + rng.choice(["", "?ppcupload"]), status_pages.__contains__
        elif kind == "page":
            path, accept = URL + rng.choice(["", "/cardcontrol", "/upload", "/snmpconf"]), static_page.__eq__
        elif kind == "file":
            path = rng.choice(list(files))
            accept = files[path].__eq__
        elif kind == "redirect":
            path, status = URL + rng.choice(redirects + [f"/nowhere{rng.randrange(1000)}"]), 302
        else:
            path, status = rng.choice([URL, URL + "/set", "/css/card.css"]), 401
            del headers["Authorization"]
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        try:
            connection.request(method, path, body, headers)
            response = connection.getresponse()
            text = response.read().decode()
        except Exception as problem:  # an incomplete or broken response
            return fail(f"{method} {path}: {problem!r}")
        finally:
            connection.close()
        if response.status != status or accept and not accept(text) \
                or status == 302 and response.getheader("Location") != f"http://{host}{URL}":
            return fail(f"{kind}: {method} {path}: {response.status}, Location {response.getheader('Location')}, "
                        f"{text[:150]!r}...{text[-300:]!r}")
        if kind in ("feed", "status"):
            with lock:
                progress_seen["running" if "stop=0" in text or "Update in progress" in text else "ended"] += 1

    def rejected_page(text, messages):  # the messages, and a form that shows values applied
        found = re.findall(r'<div class="errorText">Invalid value.*?</div>\r\n', text)
        if found != messages or not text.startswith(includes("pageHeader", "configHeader")) \
                or not text.endswith(includes("configFooter", "pageFooter")):
            return False
        value = lambda name: html.unescape(re.search(f'name="{re.escape(name)}"[^>]*? value="([^"]*)"', text)[1])
        with lock:
            shown["frame_ip"].add(".".join(value(f"{box}oid-frame_ip.conf") for box in range(4)))
            shown["card_name"].add(value("oid-card_name.conf"))
            shown["temp_alarm"].add(value("oid-temp_alarm.conf"))
        return True

    def client(number):
        rng = random.Random(seed * 100 + number)
        for _ in range(REQUESTS):
            one(rng, number)

    updating = threading.Event()

    def updates():  # simulated updates, one after another, until the clients are done
        simulator = f"{site}/card/brix/bin/simulate-update"
        while not updating.is_set():
            subprocess.run([simulator, "--steps", "6", "--step", "0.3"], stdout=subprocess.DEVNULL, check=True)
            subprocess.run([simulator, "--ppc", "--fail", "3", "--steps", "6", "--step", "0.3"],
                           stdout=subprocess.DEVNULL, check=True)

    updater = threading.Thread(target=updates)
    updater.start()
    clients = [threading.Thread(target=client, args=(number,)) for number in range(CLIENTS)]
    start = time.monotonic()
    for thread in clients:
        thread.start()
    for thread in clients:
        thread.join()
    elapsed = time.monotonic() - start
    updating.set()
    updater.join()
    check_card(site, valid_sets[0])
    check_processes(site)
    if not all(progress_seen.values()):
        fail(f"the progress routes did not see both running and ended updates: {progress_seen}")
    return elapsed, valid_sets[0]


def check_card(site, valid_sets):
    applied = dict(sent, temp_alarm={f"{float(value):f}" for value in sent["temp_alarm"]})
    values = {oid: (PARAMS[oid][0], applied[oid]) for oid in PARAMS}
    for untouched in ("poll_interval", "snmp_traps"):  # no field of the form: left as they were
        if read(f"{site}/card/brix/conf/{untouched}.conf") != read(f"{source}/demo/card/brix/conf/{untouched}.conf"):
            fail(f"value file {untouched}.conf changed")
    for oid, (key, allowed) in values.items():
        text = read(f"{site}/card/brix/conf/{oid}.conf")
        if not (text.startswith(key + "=") and text.endswith("\n") and text.count("\n") == 1
                and text[len(key) + 1:-1] in allowed):
            fail(f"value file {oid}.conf holds {text!r}")
    for oid, values_shown in shown.items():
        unknown = values_shown - applied[oid] - {PARAMS[oid][2]}
        if unknown:
            fail(f"rejected forms showed {oid} values never sent: {sorted(unknown)[:5]}")
    changes = read(f"{site}/card/var/log/changes.log").splitlines() if valid_sets else []
    refreshes = read(f"{site}/card/var/log/refresh.log").splitlines() if valid_sets else []
    if len(changes) != len(PARAMS) * valid_sets or not all(" set " in line for line in changes) \
            or len(refreshes) != valid_sets:
        fail(f"{valid_sets} forms applied: {len(changes)} change records, {len(refreshes)} refreshes")


def check_processes(site):
    """No process left that runs in the site (the program and its children work in www/cgi-bin)."""
    for _ in range(50):
        left = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink(f"/proc/{pid}/cwd").startswith(site + "/"):
                    left.append(read(f"/proc/{pid}/cmdline").replace("\0", " "))
            except OSError:
                pass
        if not left:
            return
        time.sleep(0.1)
    fail(f"processes left behind: {left}")


def check_logs(site):
    errors = read(f"{site}/card/tmp/wwwError.txt") if os.path.exists(f"{site}/card/tmp/wwwError.txt") else ""
    for line in errors.splitlines(keepends=True):
        if not re.fullmatch(r"unable to unlink \S*/tmp/progress uid=\d+ euid=\d+\r\n", line):
            fail(f"error log: {line!r}")
    if read(f"{site}/server/cgi-stderr.log"):
        fail("the program's standard error: " + read(f"{site}/server/cgi-stderr.log")[:500])
    for line in read(f"{site}/server/error.log").splitlines():
        if not re.search(r"\) server (started|stopped)|\) \[note\] graceful shutdown", line):
            fail(f"server error log: {line}")


main()
