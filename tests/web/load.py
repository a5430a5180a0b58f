#!/usr/bin/env python3
"""The program under load behind lighttpd: clients send valid forms and progress requests for
MEROVANE_LOAD_SECONDS (20) during simulated updates (static pages share nothing load could
break). Every answer must be complete and of its route's kind (exact bytes are tested without
load); then value files, records, logs and processes left are checked against all sent."""
import base64, http.client, itertools, os, re, subprocess, sys, tempfile, threading, time
from concurrent.futures import ThreadPoolExecutor
from urllib.parse import urlencode

CLIENTS, URL, PATIENCE = 8, "/cgi-bin/Merovane", 60  # PATIENCE: a bound for what takes long
SECONDS, env = float(os.environ.get("MEROVANE_LOAD_SECONDS", 20)), os.environ
user, password = env["MEROVANE_WEB_USER"], env["MEROVANE_WEB_PASSWORD"]
HEADERS = {"Authorization": "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode(),
           "Content-Type": "application/x-www-form-urlencoded"}
# Value file key of each parameter; the values sent (noted before they go); answers by kind.
PARAMS = {"frame_ip": "IPADDR", "netmask": "NETMASK", "gateway": "GATEWAY", "use_dhcp": "DHCP",
          "card_name": "NAME", "ref_source": "REFERENCE", "fan_mode": "FAN",
          "temp_alarm": "TEMP_ALARM"}
sent, seen, answered, failures = {oid: set() for oid in PARAMS}, {"running": 0, "ended": 0}, [], []
fail = failures.append  # from any thread: one append (like one set.add) is atomic in CPython
work = tempfile.mkdtemp(prefix="merovane-load-")
site, card_site = os.path.join(work, "site"), os.path.join(env["MEROVANE_SOURCE_DIR"], "scripts",
                                                           "card-site")
# A watcher in a session of its own stops the server and removes the folder once this process
# has gone, even killed with its process group at its time-out.
subprocess.run(["setsid", "-f", "sh", "-c",
                'while kill -0 "$0"; do sleep 1; done; "$1" stop "$2"; rm -rf "$3"',
                str(os.getpid()), card_site, site, work], stdin=subprocess.DEVNULL,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
os.chmod(work, 0o755)  # the program's user 1006 must pass
subprocess.run([card_site, "install", site, env["MEROVANE_PROGRAM"], env["MEROVANE_PICS"]],
               check=True)
port = int(subprocess.check_output([card_site, "start", "--owner", str(os.getpid()), "--user",
                                    user, "--password", password, site], text=True))
read = lambda path: open(f"{site}/{path}").read() if os.path.exists(f"{site}/{path}") else ""
inc = lambda *names: "".join(read(f"www/includes/{name}.html") for name in names)
# A page of the card's frame, complete, holding one of `marks`.
framed = lambda *marks: lambda text: (text.startswith(inc("pageHeader", "generalHeader"))
                                      and text.endswith(inc("pageFooter"))
                                      and any(m in text for m in marks))
# A running or completed update; "5" if the ended file went between look and read.
FEED = re.compile(r"0</>stop=0</>percentage=\d+\r\n|5|"
                  r"0</>stop=1</>msg=Upload complete</>percentage=\d+\r\n").fullmatch
STATUS = framed("Update in progress", "Upload Complete", "Unable to read progress file")


def form(client, n):
    """The body of a valid form of its own; its values are noted as sent before it goes."""
    values = {"frame_ip": f"127.{client}.{n // 250 % 256}.{n % 250 + 1}",
              "netmask": ("255.0.0.0", "255.255.0.0")[n % 2], "gateway": f"127.0.0.{client + 1}",
              "use_dhcp": str(n % 2), "card_name": f"{client} {n} <>&\"'%+=;/\\#?",
              "ref_source": str(n % 3), "fan_mode": str(n // 2 % 2), "temp_alarm": f"{n % 99}.25"}
    for oid, value in values.items():
        sent[oid].add(f"{float(value):f}" if oid == "temp_alarm" else value)
    fields = [(f"{box}oid-{oid}.conf", part) for oid in ("frame_ip", "netmask", "gateway")
              for box, part in enumerate(values.pop(oid).split("."))]  # four boxes each
    return urlencode(fields + [(f"oid-{oid}.conf", value) for oid, value in values.items()])


def one(client, n):  # half forms, a quarter progress feed, a quarter status page
    if (kind := ("set", "feed", "set", "status")[(client + n) % 4]) == "set":
        path, body, accept = "/set", form(client, n), framed("Setting network configuration")
    else:
        path, body, accept = {"feed": ("/uploadupdate", "loadtype=upload", FEED),
                              "status": ("/uploadstatus", None, STATUS)}[kind]
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        connection.request("POST" if body else "GET", URL + path, body, HEADERS)
        response = connection.getresponse()
        text = response.read().decode()  # read raises on an incomplete answer
    except Exception as problem:
        return fail(f"{path}: {problem!r}")
    if response.status != 200 or not accept(text):
        return fail(f"{path}: {response.status}, {text[:150]!r}...{text[-300:]!r}")
    answered.append(kind)  # (a list append is atomic; a count is not)
    if kind != "set":  # (a count that a race loses stays above zero)
        seen["running" if "stop=0" in text or "in progress" in text else "ended"] += 1


def client(number):
    for n in itertools.takewhile(lambda _: time.monotonic() < start + SECONDS, itertools.count()):
        one(number, n)


def updates():  # simulated updates, one after another, until the clients stop
    while not stop.is_set():
        subprocess.run([f"{site}/card/brix/bin/simulate-update", "--steps", "6", "--step", "0.3"],
                       stdout=subprocess.DEVNULL, check=True)
        stop.wait(1)  # a while for the ended update's answers


stop, start = threading.Event(), time.monotonic()  # stop: the time is up
try:
    (updater := threading.Thread(target=updates)).start()
    with ThreadPoolExecutor(CLIENTS) as pool:
        list(pool.map(client, range(CLIENTS)))
    stop.set()
    updater.join()
    if not all(seen.values()):
        fail(f"the progress routes did not see both running and ended updates: {seen}")
    for oid, key in PARAMS.items():  # one complete line holding a sent value
        if (text := read(f"card/brix/conf/{oid}.conf")) not in {f"{key}={v}\n" for v in sent[oid]}:
            fail(f"value file {oid}.conf holds {text!r}")
    changes, refreshes = (read(f"card/var/log/{log}.log").count("\n")
                          for log in ("changes", "refresh"))
    if (changes, refreshes) != (len(PARAMS) * (forms := answered.count("set")), forms):
        fail(f"{forms} forms applied: {changes} change records, {refreshes} refreshes")
    find = ["find", "/proc", "-mindepth", "2", "-maxdepth", "2", "-name", "cwd",
            "-lname", site + "/*"]
    for _ in range(PATIENCE * 10):  # no process left working in the site (cgi-bin is theirs)
        if not (left := subprocess.run(find, capture_output=True, text=True).stdout.split()):
            break
        time.sleep(0.1)
    else:
        fail(f"processes left behind: {left}")
finally:
    stop.set()
    subprocess.run([card_site, "stop", site])
    # The error log only designed lines, the program's stderr none, the server's own.
    for log, designed in (
            ("card/tmp/wwwError.txt", r"unable to unlink \S*/tmp/progress uid=\d+ euid=\d+\r\n"),
            ("server/cgi-stderr.log", "(?!)"),
            ("server/error.log",
             r".*\) (server (started|stopped)|\[note\] graceful shutdown).*\n")):
        failures.extend(f"{log}: {line!r}" for line in read(log).splitlines(keepends=True)
                        if not re.fullmatch(designed, line))
    subprocess.run(["rm", "-rf", work])
    print(f"{len(answered)} whole answers from {CLIENTS} clients in {SECONDS:g} s: "
          + ", ".join(f"{kind} {answered.count(kind)}" for kind in ("set", "feed", "status"))
          + f"; progress answers {seen}; {len(failures)} failures")
    print(*(f"FAIL: {text}" for text in failures[:20]), sep="\n", file=sys.stderr)
sys.exit(1 if failures else 0)
