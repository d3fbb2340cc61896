#!/usr/bin/env python3
"""Plays a terminal as a person at a terminal does, and writes to standard
output every byte their terminal receives: the program runs on a
pseudo-terminal with its usual settings (echo, CR before LF), and each line
is typed once the prompt before it has appeared, so its echo lands where a
player's would.

usage: play_on_pty.py PROGRAM LINE...
"""
import os
import pty
import select
import sys

# The prompt with the colour reset after it, the last the program writes
# before it reads a line: a line typed sooner would be echoed before the reset.
PROMPT = b"kestiv's terminal ---> \x1b[0m"
# Only a program that hangs takes this long to answer a line.
ANSWER_SECONDS = 60


def main():
    program, lines = sys.argv[1], sys.argv[2:]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execv(program, [program])
    received = bytearray()

    def read_some():
        """Adds what the program wrote next; False once it has closed its terminal."""
        ready, _, _ = select.select([terminal], [], [], ANSWER_SECONDS)
        if not ready:
            sys.exit(f"no answer from {program} within {ANSWER_SECONDS} s; so far: {bytes(received)!r}")
        try:
            chunk = os.read(terminal, 65536)
        except OSError:  # EIO: the program is gone
            return False
        received.extend(chunk)
        return bool(chunk)

    for typed, line in enumerate(lines):
        while received.count(PROMPT) <= typed:
            if not read_some():
                sys.exit(f"{program} ended before line {typed + 1}: {bytes(received)!r}")
        os.write(terminal, line.encode() + b"\n")
    while read_some():
        pass
    os.waitpid(pid, 0)
    sys.stdout.buffer.write(bytes(received))


if __name__ == "__main__":
    main()
