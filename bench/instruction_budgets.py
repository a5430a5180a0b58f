#!/usr/bin/env python3
"""Instructions of each route against its floor, checked against a budget.

    instruction_budgets.py --program P --floors DIR --demo DIR

P is the CGI program built with the card root "../../card"; DIR of --floors
holds the floor programs of bench/floors (page_floor, getc_floor,
split_floor), built by the same build. Every workload runs once in a fresh
copy of the sample card (--demo, the repository's demo/), under valgrind's
cachegrind, in an environment holding only the CGI variables: first the
program, then its floor, which gets the same environment and input. Counted
are the user-space instructions of the request process from its first to its
last (the children it starts, change programs and refresh script, are not).
Instruction counts do not move with the machine's load, so a ratio over its
budget fails: exit status 1; 77 when valgrind is not installed. The table is
Markdown: scripts/bench --instructions puts it into BENCHMARKS.md.
"""
import argparse
import dataclasses
import os
import pathlib
import platform
import re
import shutil
import subprocess
import sys
import tempfile
from urllib.parse import urlencode

WEB_USER = 1006  # the effective user the program takes on as root
BOUNDARY = "----MerovaneBudget5c1d"
URLENCODED = "application/x-www-form-urlencoded"
FRAGMENTS = ("pageHeader", "configHeader", "configFooter", "pageFooter")

# The sample card's form as a browser sends it, with the values the card
# holds: applying it changes nothing, so every run meets the same card.
ADDRESSES = {"frame_ip": "127.0.0.1", "netmask": "255.0.0.0", "gateway": "127.0.0.254"}
VALUES = {"use_dhcp": "0", "card_name": "Studio A frame 3", "ref_source": "1", "fan_mode": "0",
          "temp_alarm": "65.5", "poll_interval": "30"}


def card_form(**changed):
    values = {**VALUES, **changed}
    fields = [(f"{box}oid-{oid}.conf", byte) for oid, address in ADDRESSES.items()
              for box, byte in enumerate(address.split("."))]
    fields += [(f"oid-{oid}.conf", value) for oid, value in values.items()]
    return urlencode(fields).encode()


def file_part():
    data = bytes(range(256)) * 256  # 64 KiB, a line feed every 256 bytes
    head = (f"--{BOUNDARY}\r\nContent-Disposition: form-data; name=\"file\"; "
            'filename="update.tar"\r\nContent-Type: application/octet-stream\r\n\r\n')
    return head.encode() + data + f"\r\n--{BOUNDARY}--\r\n".encode()


def distinct_names():
    return "&".join(f"n{i}={i}" for i in range(100_000)).encode()


def no_files(card):
    return []


def param_file(card):
    return [card / "brix/etc/param.xml"]


def form_files(card):
    """param.xml, control_menu.xml, every value file that param.xml names and
    the four fragments of the error page."""
    etc = card / "brix/etc"
    values = re.findall(r"<file>(.*?)</file>", (etc / "param.xml").read_text())
    return ([etc / "param.xml", etc / "control_menu.xml"] +
            [card / "../www/cgi-bin" / value for value in values] +
            [card / f"../www/includes/{fragment}.html" for fragment in FRAGMENTS])


@dataclasses.dataclass
class Workload:
    name: str
    path: str  # PATH_INFO
    floor: str  # "page_floor" (with the files of `reads`), "getc_floor" or "split_floor"
    budget: float  # the largest program / floor ratio allowed
    body: bytes = None  # a POST body; None for a GET
    content_type: str = URLENCODED
    reads: object = no_files  # the files a page is made of, for the page floor


WORKLOADS = [
    Workload("static page", "/cardcontrol", "page_floor", 1.3),
    Workload("status page, no progress file", "/uploadstatus", "page_floor", 1.3),
    Workload("progress feed, no progress file", "/uploadupdate", "page_floor", 1.3),
    Workload('"/set" error page (one rejected value)', "/set", "page_floor", 6,
             body=card_form(fan_mode="1a"), reads=form_files),
    Workload('valid "/set" of the card\'s form', "/set", "page_floor", 5,
             body=card_form(), reads=param_file),
    Workload("64 KiB file part, multipart", "/set", "getc_floor", 0.3, body=file_part(),
             content_type=f"multipart/form-data; boundary={BOUNDARY}"),
    Workload("100,000 distinct names, URL-encoded", "/set", "split_floor", 7,
             body=distinct_names()),
]
FLOOR_NAMES = {"getc_floor": "every byte through getc_unlocked",
               "split_floor": 'read the body, split it at "&" and "="'}


def lay_out_card(demo, site, program):
    """A copy of the sample card that the program's effective user can use."""
    site.mkdir(mode=0o755)
    for part in ("card", "www"):
        shutil.copytree(demo / part, site / part)
    for folder in ("card/tmp", "card/var/log", "www/cgi-bin"):
        (site / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy(program, site / "www/cgi-bin/Merovane")
    for path in [site, *site.rglob("*")]:
        path.chmod(0o755 if path.is_dir() or os.access(path, os.X_OK) else 0o644)
    (site / "card/tmp").chmod(0o1777)
    if os.geteuid() == 0:
        for path in [site / "card/brix/conf", site / "card/var"]:
            for each in [path, *path.rglob("*")]:
                os.chown(each, WEB_USER, -1)
    return site / "www/cgi-bin"


def cgi_environment(load):
    """The request's environment: the CGI variables only."""
    environment = {"HTTP_HOST": "card.example", "SCRIPT_NAME": "/cgi-bin/Merovane",
                   "GATEWAY_INTERFACE": "CGI/1.1", "SERVER_PROTOCOL": "HTTP/1.1",
                   "REQUEST_METHOD": "GET" if load.body is None else "POST",
                   "PATH_INFO": load.path}
    if load.body is not None:
        environment.update(CONTENT_TYPE=load.content_type, CONTENT_LENGTH=str(len(load.body)))
    return environment


def count(valgrind, out, name, command, cwd, environment, body):
    """The instructions of the process started with `command`, and what it wrote."""
    process = subprocess.Popen(
        [valgrind, "--tool=cachegrind", "--cache-sim=no", "--branch-sim=no", "--vgdb=no",
         f"--cachegrind-out-file={out / name}.%p", *command],
        cwd=cwd, env=environment, stdin=subprocess.DEVNULL if body is None else subprocess.PIPE,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # Read to the end: processes the request left behind hold the response
    # open until they are done, so the card is quiet for the next run.
    page, errors = process.communicate(body)
    if process.returncode != 0:
        raise SystemExit(f"instruction_budgets: {command[0]} exited {process.returncode}:\n"
                         + errors.decode(errors="replace"))
    report = (out / f"{name}.{process.pid}").read_text()
    return int(re.search(r"^summary: (\d+)$", report, re.M).group(1)), page


def measure(arguments, work, valgrind):
    """One row per workload: name, program, floor, floor's name, ratio, budget."""
    out = work / "counts"
    out.mkdir()
    out.chmod(0o777)  # written at exit by the program's effective user
    floors = pathlib.Path(arguments.floors).resolve()
    rows = []
    for number, load in enumerate(WORKLOADS):
        cgi_bin = lay_out_card(pathlib.Path(arguments.demo), work / f"site{number}",
                               arguments.program)
        environment = cgi_environment(load)
        program, page = count(valgrind, out, f"program{number}", ["./Merovane"], cgi_bin,
                              environment, load.body)
        command = [str(floors / load.floor)]
        floor_name = FLOOR_NAMES.get(load.floor)
        floor_input = load.body
        if floor_name is None:
            floor_input = None  # a page floor reads files only
            page_file = work / f"page{number}"
            page_file.write_bytes(page)
            reads = [str(path) for path in load.reads(cgi_bin / "../../card")]
            command += [str(page_file), *reads]
            plural = "s" * (len(reads) > 1)
            floor_name = f"read {len(reads)} file{plural}, " * bool(reads) + "write the same bytes"
        floor, written = count(valgrind, out, f"floor{number}", command, cgi_bin, environment,
                               floor_input)
        if floor_name.endswith("same bytes") and written != page:
            raise SystemExit(f"instruction_budgets: the floor of {load.name} wrote another page")
        rows.append((load.name, program, floor, floor_name, program / floor, load.budget))
    return rows


def table(rows):
    lines = ["| workload | program | floor | ratio | budget | verdict |",
             "|---|---|---|---|---|---|"]
    for name, program, floor, floor_name, ratio, budget in rows:
        verdict = "met" if ratio <= budget else "MISSED"
        lines.append(f"| {name} | {program:,} | {floor:,}: {floor_name} | {ratio:.2f} "
                     f"| <= {budget:g} | {verdict} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--floors", required=True)
    parser.add_argument("--demo", required=True)
    arguments = parser.parse_args()
    valgrind = shutil.which("valgrind")
    if valgrind is None:
        print("valgrind is not installed (Debian package valgrind): no instructions counted")
        return 77
    with tempfile.TemporaryDirectory(prefix="merovane-budgets-") as work:
        work = pathlib.Path(work)
        work.chmod(0o755)
        rows = measure(arguments, work, valgrind)
    version = subprocess.run([valgrind, "--version"], capture_output=True, text=True).stdout.strip()
    heading = (f"Instructions counted by {version} (cachegrind) on {platform.machine()}, "
               "request process only; ratio = program / floor.")
    print(f"{heading}\n\n{table(rows)}")
    missed = [row[0] for row in rows if row[4] > row[5]]
    for name in missed:
        print(f"instruction_budgets: {name} is over its budget", file=sys.stderr)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
