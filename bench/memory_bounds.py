#!/usr/bin/env python3
"""Peak resident memory of "/set" requests against their bounds, and the time
of 100,000 distinct names against a C program that only reads the body.

    memory_bounds.py --program P --card-tool T --floor F [--runs N] [--work DIR]

P is the CGI program built with the card root "../../card", T the bench_card
tool, F the statically linked getc_unlocked reader of bench/floors. The card
is laid out under a fresh directory in /tmp without its param.xml, so a
"/set" request parses its body and then stops: only the parse is measured,
and nothing is ever applied. Peak resident memory is the child's maximum
resident set size as wait4 reports it (what /usr/bin/time -f %M prints).

Bounds: the static page's peak + 256 KiB + 6 x the body (URL-encoded) or
3 x the body (multipart); 100,000 distinct names at most 10 x the floor's
time, both taken in turns in the same run. Exit status 1 when one is missed.
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

KIB = 1024
MIB = 1024 * KIB
SLACK_KIB = 256
URL_FACTOR = 6
MULTIPART_FACTOR = 3
TIME_BOUND = 10.0
BOUNDARY = "----MerovaneBench7e3f1a"
URLENCODED = "application/x-www-form-urlencoded"
MULTIPART = f"multipart/form-data; boundary={BOUNDARY}"


def joined(pieces):
    return "&".join(pieces).encode()


def url_bodies():
    """The URL-encoded shapes: those of the memory issue, then the benchmark's."""
    yield "300,000 short pairs (0=&1=&..., hex names)", joined(f"{i:x}=" for i in range(300_000))
    yield "100,000 distinct names (n0=0&n1=1&...)", joined(f"n{i}={i}" for i in range(100_000))
    yield "100,000 pairs of one name (a=0&a=1&...)", joined(f"a={i}" for i in range(100_000))
    yield "one 8 MiB value", b"a=" + b"x" * (8 * MIB)
    for count in (100_000, 200_000):
        yield f"bench: {count:,} distinct names", joined(f"n{i}=1" for i in range(count))
        yield f"bench: one name {count:,} times", joined(
            "oid-card_name.conf=x" for _ in range(count))
    for count in (2_000_000, 4_000_000):
        yield f"bench: {count:,} escapes", b"oid-card_name.conf=" + b"%41" * count
        yield f"bench: {count:,} separators", b"&" * count


def part(headers, data):
    head = "".join(f"{h}\r\n" for h in headers)
    return f"--{BOUNDARY}\r\n{head}\r\n".encode() + data + b"\r\n"


def card_form_parts(card_tool):
    """The card's form as parts, with the rejected port, as scripts/bench sends it."""
    form = subprocess.run([card_tool, "body", "rejected"], check=True,
                          capture_output=True).stdout.decode()
    from urllib.parse import unquote_plus
    parts = []
    for pair in form.split("&"):
        name, _, value = pair.partition("=")
        parts.append(part([f'Content-Disposition: form-data; name="{name}"'],
                          unquote_plus(value).encode()))
    return b"".join(parts)


def multipart_bodies(card_tool):
    close = f"--{BOUNDARY}--\r\n".encode()
    form = card_form_parts(card_tool)
    yield "5,000 parts of one byte", b"".join(
        part([f'Content-Disposition: form-data; name="p{i}"'], b"x") for i in range(5000)) + close

    def with_form(headers, data):
        return form + part(headers, data) + close

    yield "bench: 64 MiB file part", with_form(
        ['Content-Disposition: form-data; name="firmware"; filename="update.bin"',
         "Content-Type: application/octet-stream"], os.urandom(64 * MIB))
    line = (b"Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor"
            b" incididunt ut labor\r\n")
    for size in (1, 2):
        yield f"bench: {160_000 * size:,} lines of 100 bytes", with_form(
            ['Content-Disposition: form-data; name="log"; filename="log.txt"',
             "Content-Type: text/plain"],
            line * (160_000 * size))
    for size in (1, 2):
        data = b"L" * (16 * MIB * size) + b"\r\n" + b"".join(
            b"short line %d\r\n" % i for i in range(200_000 * size))
        yield f"bench: {16 * size} MiB first line + {200_000 * size:,} short lines", with_form(
            ['Content-Disposition: form-data; name="dump"; filename="dump.txt"'], data)
    for count in (10_000, 20_000):
        folded = 'Content-Disposition: form-data; name="notes";' + "".join(
            f"\r\n x{i}=1;" for i in range(count))
        yield f"bench: header folded over {count:,} lines", with_form([folded], b"folded header")
    # One long part header: a disposition of many words, and one of many
    # folded continuation lines.
    for mib in (2, 8):
        words = 'Content-Disposition: form-data; name="words"' + " w" * (mib * MIB // 2)
        yield f"{mib} MiB Content-Disposition of words", with_form([words], b"x")
    folded = 'Content-Disposition: form-data; name="folded";' + "\r\n x=1;" * (8 * MIB // 7)
    yield "8 MiB of folded continuation lines", with_form([folded], b"x")


def spawn(command, environment, body_path):
    """Runs a command once, standard input from the body; returns its wait4 figures and the wall
    time."""
    stdin = open(body_path, "rb") if body_path else open(os.devnull, "rb")
    with stdin, open(os.devnull, "wb") as stdout:
        start = time.perf_counter()
        pid = os.posix_spawn(command[0], command, environment,
                             file_actions=[(os.POSIX_SPAWN_DUP2, stdin.fileno(), 0),
                                           (os.POSIX_SPAWN_DUP2, stdout.fileno(), 1)])
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        raise SystemExit(f"memory_bounds: {command[0]} ended with status {status}")
    return usage, wall


def peak_rss(program, environment, body_path, report):
    """The program's peak resident memory in KiB, through /usr/bin/time as a
    small parent: the kernel carries a process's peak across exec, so a child
    of this large interpreter would inherit the interpreter's."""
    spawn(["/usr/bin/time", "-f", "%M", "-o", str(report), program], environment, body_path)
    return int(report.read_text().split()[-1])


def timed(command, environment, body_path):
    """Wall and CPU (user + system) seconds of one run."""
    usage, wall = spawn([command], environment, body_path)
    return wall, usage.ru_utime + usage.ru_stime


def request_environment(content_type=None, body=None):
    environment = {"PATH": "/usr/bin:/bin", "HTTP_HOST": "card.example",
                   "SCRIPT_NAME": "/cgi-bin/Merovane", "GATEWAY_INTERFACE": "CGI/1.1",
                   "SERVER_PROTOCOL": "HTTP/1.1"}
    if content_type is None:
        environment.update(REQUEST_METHOD="GET", PATH_INFO="/cardcontrol")
    else:
        environment.update(REQUEST_METHOD="POST", PATH_INFO="/set", CONTENT_TYPE=content_type,
                           CONTENT_LENGTH=str(len(body)))
    return environment


def check_card_root(program):
    image = pathlib.Path(program).read_bytes()
    if b"../../card/tmp/wwwError.txt" not in image:
        raise SystemExit(
            f"memory_bounds: {program} is not built with the card root ../../card; not run")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--card-tool", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--runs", type=int, default=15,
                        help="timed runs of each command (in turns)")
    parser.add_argument("--work",
                        help="directory for the card and the bodies (default: a fresh one in /tmp)")
    arguments = parser.parse_args()
    for tool in ("program", "card_tool", "floor"):
        setattr(arguments, tool, os.path.abspath(getattr(arguments, tool)))
    check_card_root(arguments.program)

    work = pathlib.Path(arguments.work or tempfile.mkdtemp(prefix="merovane-memory-"))
    work.mkdir(parents=True, exist_ok=True)
    try:
        os.chmod(work, 0o755)
        card = work / "card"
        subprocess.run([arguments.card_tool, "card", str(card)], check=True)
        (card / "card/brix/etc/param.xml").unlink()
        cgi_bin = card / "www/cgi-bin"
        program = str(cgi_bin / "Merovane")
        shutil.copy(arguments.program, program)
        os.chdir(cgi_bin)  # the children start here: the card root is relative
        return measure(program, arguments, work)
    finally:
        if not arguments.work:
            shutil.rmtree(work, ignore_errors=True)


def measure(program, arguments, work):
    report = work / "time.txt"
    static_kib = min(peak_rss(program, request_environment(), None, report) for _ in range(3))
    print(f"static page: peak RSS {static_kib} KiB\n")
    print("| body | size | peak RSS | x body | bound | verdict |")
    print("|---|---|---|---|---|---|")
    missed = 0
    shapes = [(URLENCODED, URL_FACTOR, label, body) for label, body in url_bodies()]
    shapes += [(MULTIPART, MULTIPART_FACTOR, label, body)
               for label, body in multipart_bodies(arguments.card_tool)]
    body_path = work / "body"
    for content_type, factor, label, body in shapes:
        body_path.write_bytes(body)
        environment = request_environment(content_type, body)
        peak = max(peak_rss(program, environment, body_path, report) for _ in range(2))
        bound = static_kib + SLACK_KIB + factor * len(body) / KIB
        met = peak <= bound
        missed += not met
        print(f"| {label} ({'multipart' if factor == MULTIPART_FACTOR else 'URL-encoded'}) "
              f"| {len(body) / 1e6:.1f} MB | {peak / 1024:.1f} MiB | {peak * KIB / len(body):.1f} "
              f"| {bound / 1024:.1f} MiB | {'meets' if met else 'MISSED'} |")

    # 100,000 distinct names against the floor, in turns.
    label, body = next((l, b) for l, b in url_bodies() if l.startswith("100,000 distinct"))
    body_path.write_bytes(body)
    environment = request_environment(URLENCODED, body)
    times = {"program": [], "floor": []}
    cpus = {"program": [], "floor": []}
    for _ in range(arguments.runs):
        for name, command in (("program", program), ("floor", arguments.floor)):
            wall, cpu = timed(command, environment, body_path)
            times[name].append(wall)
            cpus[name].append(cpu)
    wall_ratio = statistics.median(times["program"]) / statistics.median(times["floor"])
    cpu_ratio = statistics.median(cpus["program"]) / max(statistics.median(cpus["floor"]), 1e-4)
    met = wall_ratio <= TIME_BOUND
    missed += not met
    print(f"\ntime, {label}: program {statistics.median(times['program']) * 1000:.1f} ms, "
          f"floor {statistics.median(times['floor']) * 1000:.1f} ms "
          f"(medians of {arguments.runs} runs each, in turns): "
          f"{wall_ratio:.2f} x wall, {cpu_ratio:.2f} x CPU; "
          f"bound {TIME_BOUND:.0f} x: {'meets' if met else 'MISSED'}")
    if missed:
        print(f"memory_bounds: {missed} bound(s) missed", file=sys.stderr)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
