#!/usr/bin/env python3
"""CPU time of each route against its floor, whole processes, children included.

    cpu_times.py --program P --floors DIR --demo DIR [--runs N]

The routes, their bodies and their floors are those of the instruction
budgets (instruction_budgets.py), each in a fresh copy of the sample card
(--demo). What is measured is what a card spends on a request: the user and
system CPU time of the request process and of every process it starts, with
the change programs and the refresh script and whatever they start in turn
(this process is their subreaper and collects each one's times). The floor
of a request that starts programs starts the same ones with the same
arguments when it is done (its twin NAME_starting in --floors, built with
floors/start_programs.h), learnt in a first run of the program on a card
whose programs only record how they were started. Program and floor
take turns, N runs each (default 21); a figure is the median. Reported, not
checked: CPU time moves with the machine. The table is Markdown: scripts/bench
puts it into BENCHMARKS.md.
"""
import argparse
import ctypes
import os
import pathlib
import statistics
import sys
import tempfile

from instruction_budgets import FLOOR_NAMES, WORKLOADS, cgi_environment, lay_out_card

PR_SET_CHILD_SUBREAPER = 36
# Stands in for every program of the card in the recording run: notes its
# path and arguments, one line each, separated by tabs.
RECORDER = '#!/bin/sh\nIFS="$(printf "\\t")"\nprintf "%s\\n" "$0${*:+$IFS$*}" >> {log}\n'


def run(command, cwd, environment, body_file, page_file):
    """Runs `command` to the end of every process it started: their CPU seconds,
    user and system. Fails when the command itself fails."""
    actions = [(os.POSIX_SPAWN_OPEN, 0, str(body_file or os.devnull), os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, str(page_file), os.O_WRONLY | os.O_CREAT | os.O_TRUNC,
                0o644)]
    here = os.getcwd()
    os.chdir(cwd)
    try:
        started = os.posix_spawn(command[0], command, environment, file_actions=actions)
    finally:
        os.chdir(here)
    # A process's times include those of the children it waited for; the
    # others come here as orphans.
    seconds = 0.0
    while True:
        try:
            process, status, usage = os.wait4(-1, 0)
        except ChildProcessError:
            return seconds
        seconds += usage.ru_utime + usage.ru_stime
        if process == started and status != 0:
            raise SystemExit(f"cpu_times: {' '.join(command)} ended with status {status:#x}")


def recorded_commands(load, body, demo, program, work, number):
    """The programs the request starts, as lines of the file FLOOR_PROGRAMS names."""
    log = work / f"started{number}.txt"
    log.touch()
    log.chmod(0o666)
    cgi_bin = lay_out_card(demo, work / f"record{number}", program)
    card = cgi_bin / "../../card"
    stand_ins = [*(card / "brix/bin").iterdir(), card / "brix/etc/refreshparams.sh",
            card / "sbin/reboot"]
    for path in stand_ins:
        if path.is_file():
            path.write_text(RECORDER.replace("{log}", str(log)))
    run(["./Merovane"], cgi_bin, cgi_environment(load), body, work / "recorded.page")
    return log.read_text()


def measure(arguments, work):
    """One row per route: name, program seconds, floor seconds, floor's name."""
    demo = pathlib.Path(arguments.demo)
    floors = pathlib.Path(arguments.floors).resolve()
    rows = []
    for number, load in enumerate(WORKLOADS):
        body = None
        if load.body is not None:
            body = work / f"body{number}"
            body.write_bytes(load.body)
        environment = cgi_environment(load)
        commands = recorded_commands(load, body, demo, arguments.program, work, number)
        cgi_bin = lay_out_card(demo, work / f"site{number}", arguments.program)
        page = work / f"page{number}"
        run(["./Merovane"], cgi_bin, environment, body, page)
        floor_name = FLOOR_NAMES.get(load.floor)
        floor = [str(floors / load.floor)]
        if floor_name is None:
            reads = [str(path) for path in load.reads(cgi_bin / "../../card")]
            floor += [str(page), *reads]
            plural = "s" * (len(reads) > 1)
            floor_name = f"read {len(reads)} file{plural}, " * bool(reads) + "write the same bytes"
        started = len(commands.splitlines())
        floor_environment = environment
        if started:
            command_file = work / f"commands{number}.txt"
            command_file.write_text(commands)
            floor[0] += "_starting"
            floor_environment = {**environment, "FLOOR_PROGRAMS": str(command_file)}
            floor_name += f", start the same {started} program{'s' * (started > 1)}"
        program_times, floor_times = [], []
        for _ in range(arguments.runs):
            program_times.append(run(["./Merovane"], cgi_bin, environment, body,
                                     work / "program.page"))
            floor_times.append(run(floor, cgi_bin, floor_environment, body,
                                   work / "floor.page"))
        rows.append((load.name, statistics.median(program_times), statistics.median(floor_times),
                     floor_name))
    return rows


def table(rows):
    lines = ["| route | program | floor | ratio |", "|---|---|---|---|"]
    for name, program, floor, floor_name in rows:
        lines.append(f"| {name} | {program * 1000:.2f} ms | {floor * 1000:.2f} ms: {floor_name} "
                     f"| {program / floor:.2f} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--floors", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--runs", type=int, default=21)
    arguments = parser.parse_args()
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        print("cpu_times: cannot collect the times of the processes a request leaves",
              file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="merovane-cpu-") as work:
        work = pathlib.Path(work)
        work.chmod(0o755)
        rows = measure(arguments, work)
    print(f"CPU time (user + system) of the whole request, every process it starts included; "
          f"median of {arguments.runs} runs, taking turns with the floor; "
          "ratio = program / floor.\n")
    print(table(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
