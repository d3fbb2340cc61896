#!/usr/bin/env python3
"""CPU time (user + system), page faults and peak resident memory of programs
started with empty input, each the median of RUNS runs taken in turn so that
the machine's load falls on all alike.

    cpu_runs.py RUNS NAME=PROGRAM...
"""
import os
import statistics
import sys


def one_run(program):
    # posix_spawn borrows this process's memory until the exec, so that no
    # copy-on-write fault of this script is counted as the program's.
    null = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_RDWR, 0) for fd in (0, 1, 2)]
    pid = os.posix_spawn(program, [program], {}, file_actions=null)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 255):
        sys.exit(f"cpu_runs.py: {program} ended with {os.waitstatus_to_exitcode(status)}")
    return usage.ru_utime + usage.ru_stime, usage.ru_minflt + usage.ru_majflt, usage.ru_maxrss


def main():
    runs = int(sys.argv[1])
    programs = dict(argument.split("=", 1) for argument in sys.argv[2:])
    samples = {name: [] for name in programs}
    for _ in range(runs):
        for name, program in programs.items():
            samples[name].append(one_run(program))
    print(f"{'median of ' + str(runs):<18} {'CPU ms':>8} {'faults':>8} {'peak KiB':>9}")
    for name, runs_of_program in samples.items():
        cpu, faults, rss = (statistics.median(column) for column in zip(*runs_of_program))
        print(f"{name:<18} {cpu * 1000:8.2f} {faults:8.0f} {rss:9.0f}")


main()
