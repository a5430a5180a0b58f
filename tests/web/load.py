#!/usr/bin/env python3
"""The program under load behind lighttpd: clients send valid forms and progress requests for
MEROVANE_LOAD_SECONDS (20) during simulated updates (static pages share nothing load could
break). Every answer must be complete and of its route's kind (exact bytes are tested without
load); then value files, records, logs and processes left are checked against all sent."""
import base64, http.client, os, random, re, shutil, subprocess, sys, tempfile, threading, time
from concurrent.futures import ThreadPoolExecutor
from urllib.parse import urlencode

CLIENTS, URL, PATIENCE = 8, "/cgi-bin/Merovane", 60  # PATIENCE: a bound for what takes long
SECONDS, env = float(os.environ.get("MEROVANE_LOAD_SECONDS", 20)), os.environ
source, user, password = (env[f"MEROVANE_{name}"] for name in
                          ("SOURCE_DIR", "WEB_USER", "WEB_PASSWORD"))
HEADERS = {"Authorization": "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode(),
           "Content-Type": "application/x-www-form-urlencoded"}
seed = int(env.get("MEROVANE_LOAD_SEED", time.time_ns() % 10**6))
print(f"seed {seed} (MEROVANE_LOAD_SEED)")
# Value file key of each parameter; the values sent (noted before they go); progress answers.
PARAMS = {"frame_ip": "IPADDR", "netmask": "NETMASK", "gateway": "GATEWAY", "use_dhcp": "DHCP",
          "card_name": "NAME", "ref_source": "REFERENCE", "fan_mode": "FAN",
          "temp_alarm": "TEMP_ALARM"}
sent, seen, applied, kinds = {oid: set() for oid in PARAMS}, {"running": 0, "ended": 0}, [], []
failures, work = [], tempfile.mkdtemp(prefix="merovane-load-")
fail = failures.append  # from any thread: one append (like one set.add) is atomic in CPython
site, card_site = os.path.join(work, "site"), os.path.join(source, "scripts", "card-site")
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
# The default update completes, the controller's fails (error 3); "5" if the ended file went
# between look and read.
FEED = (r"0</>stop=0</>percentage=\d+\r\n|5|"
        r"0</>stop=1</>msg=(Upload complete|{})</>percentage=\d+\r\n")
STATUS = framed("Update in progress", "Upload Complete", "Invalid tar file",
                "Unable to read progress file")
KINDS = ("set", "feed", "status")


def form(rng):
    """The body of a valid form; its values are noted as sent before it goes."""
    values = {"frame_ip": f"127.{rng.randrange(256)}.{rng.randrange(256)}.{rng.randrange(1, 255)}",
              "netmask": rng.choice(["255.0.0.0", "255.255.0.0", "255.255.255.0"]),
              "gateway": f"127.0.{rng.randrange(256)}.{rng.randrange(1, 255)}",
              "use_dhcp": rng.choice("01"),
              "card_name": "".join(rng.choice("abcXYZ019 <>&\"'%+=;/\\#?")
                                   for _ in range(rng.randrange(1, 50))),
              "ref_source": rng.choice("012"), "fan_mode": rng.choice("01"),
              "temp_alarm": f"{rng.uniform(-20, 120):.2f}"}
    for oid, value in values.items():
        sent[oid].add(f"{float(value):f}" if oid == "temp_alarm" else value)
    fields = [(f"{box}oid-{oid}.conf", part) for oid in ("frame_ip", "netmask", "gateway")
              for box, part in enumerate(values.pop(oid).split("."))]  # four boxes each
    fields += [(f"oid-{oid}.conf", value) for oid, value in values.items()]
    rng.shuffle(fields)
    return urlencode(fields)


def one(rng):
    kinds.append(kind := rng.choices(KINDS, [30, 20, 15])[0])
    method, body, accept = "POST", None, STATUS
    if kind == "set":
        path, body, accept = "/set", form(rng), framed("Setting network configuration")
    elif kind == "feed":
        ppc = rng.choice(["", "ppc"])
        path, body = "/uploadupdate", f"loadtype={ppc}upload"
        accept = re.compile(FEED.format("Invalid tar file" if ppc else "")).fullmatch
    else:
        method, path = "GET", rng.choice(["/uploadstatus", "/uploadstatus?ppcupload"])
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        connection.request(method, URL + path, body, HEADERS)
        response = connection.getresponse()
        text = response.read().decode()  # read raises on an incomplete answer
    except Exception as problem:
        return fail(f"{method} {path}: {problem!r}")
    if response.status != 200 or not accept(text):
        return fail(f"{kind}: {method} {path}: {response.status}, {text[:150]!r}...{text[-300:]!r}")
    if kind == "set":
        applied.append(path)  # (a list append is atomic; a count is not)
    else:  # (a count that a race loses stays above zero)
        seen["running" if "stop=0" in text or "in progress" in text else "ended"] += 1


def client(number):
    rng = random.Random(seed * 100 + number)
    while not stop.is_set() and time.monotonic() < start + SECONDS:
        one(rng)


def updates():  # simulated updates, one after another, until the clients stop
    while not stop.is_set():
        for extra in ([], ["--ppc", "--fail", "3"]):
            subprocess.run([f"{site}/card/brix/bin/simulate-update", *extra, "--steps", "6",
                            "--step", "0.3"], stdout=subprocess.DEVNULL, check=True)


stop, start, elapsed = threading.Event(), time.monotonic(), 0.0  # stop: the time is up
try:
    (updater := threading.Thread(target=updates)).start()
    with ThreadPoolExecutor(CLIENTS) as pool:
        list(pool.map(client, range(CLIENTS)))
    elapsed = time.monotonic() - start
    stop.set()
    updater.join()
    if not all(seen.values()):
        fail(f"the progress routes did not see both running and ended updates: {seen}")
    for oid, key in PARAMS.items():  # one complete line holding a sent value
        if (text := read(f"card/brix/conf/{oid}.conf")) not in {f"{key}={v}\n" for v in sent[oid]}:
            fail(f"value file {oid}.conf holds {text!r}")
    changes, refreshes = (read(f"card/var/log/{log}.log").count("\n")
                          for log in ("changes", "refresh"))
    if (changes, refreshes) != (len(PARAMS) * len(applied), len(applied)):  # each ran once
        fail(f"{len(applied)} forms applied: {changes} change records, {refreshes} refreshes")
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
    elapsed = elapsed or time.monotonic() - start
    subprocess.run([card_site, "stop", site])
    # The error log only designed lines, the program's stderr none, the server's own.
    for log, designed in (
            ("card/tmp/wwwError.txt", r"unable to unlink \S*/tmp/progress uid=\d+ euid=\d+\r\n"),
            ("server/cgi-stderr.log", "(?!)"),
            ("server/error.log",
             r".*\) (server (started|stopped)|\[note\] graceful shutdown).*\n")):
        failures.extend(f"{log}: {line!r}" for line in read(log).splitlines(keepends=True)
                        if not re.fullmatch(designed, line))
    shutil.rmtree(work, ignore_errors=True)
    counts = ", ".join(f"{kind} {kinds.count(kind)}" for kind in KINDS)
    print(f"sent {len(kinds)} requests from {CLIENTS} clients in {elapsed:.1f} s "
          f"({len(kinds) / max(elapsed, 0.1):.1f} requests/s): {counts}; "
          f"{len(applied)} forms applied; progress answers {seen}; {len(failures)} failures")
    print(*(f"FAIL: {text}" for text in failures[:20]), sep="\n", file=sys.stderr)
sys.exit(1 if failures else 0)
