#!/usr/bin/env python3
"""Runs a fixture terminal under Wine with its console on a pseudo-terminal
and types a short session into it, as a person would. Wine draws the console's
text attributes as escape sequences; the screen is read back as characters
with their foreground colour, and every character must have the colour the
program gave it: banner and prompts green, directory names blue, the crash
message red, everything else in the attributes the program started with.

usage: wine_console_test.py FIXTURE_EXE EMULATOR...
"""
import fcntl
import os
import pty
import re
import select
import struct
import subprocess
import sys
import termios
import time
import tty

DEFAULT, BLUE, GREEN, RED = "default", "blue", "green", "red"
SGR_FOREGROUND = {30: "black", 31: RED, 32: GREEN, 33: "yellow", 34: BLUE, 35: "magenta", 36: "cyan", 37: "white"}
PROMPT = "kestiv's terminal ---> "
CRASH = "Oh no, CRAAAAAAAAAAASH"
# Control sequences: CSI (cursor moves, erasing, SGR), OSC, and two-byte escapes.
SEQUENCE = re.compile(rb"\x1b\[([0-9;?]*)([@-~])|\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)|\x1b[@-Z\\-_]")
STEP_TIMEOUT = 60


def screen_cells(raw):
    """The characters drawn after the last cursor-home that precedes any text,
    each with the foreground colour in force; line ends as ("\\n", None)."""
    cells = []
    colour = DEFAULT
    at = 0
    while at < len(raw):
        match = SEQUENCE.match(raw, at)
        if match:
            params, final = match.group(1), match.group(2)
            if final == b"m":
                codes = [int(p) for p in params.split(b";") if p] or [0]
                for code in codes:
                    if code in (0, 39):
                        colour = DEFAULT
                    elif code in SGR_FOREGROUND:
                        colour = SGR_FOREGROUND[code]
            elif final == b"H" and not any(ch.strip() for ch, _ in cells):
                cells = []  # the screen was cleared: drawing starts again at the top
            at = match.end()
            continue
        byte = raw[at]
        at += 1
        if byte == 0x0A:
            cells.append(("\n", None))
        elif byte >= 0x20 and byte != 0x7F:
            cells.append((chr(byte), colour))
    return cells


def plain(cells):
    return "".join(ch for ch, _ in cells)


def expected_cells(segments):
    cells = []
    for text, colour in segments:
        cells.extend((ch, None if ch == "\n" else colour) for ch in text)
    return cells


def describe(cells):
    runs = []
    for ch, colour in cells:
        if runs and runs[-1][1] == colour:
            runs[-1][0] += ch
        else:
            runs.append([ch, colour])
    return "\n".join(f"  {colour or '-'}: {text!r}" for text, colour in runs)


class WineConsole:
    def __init__(self, command, environment):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            # Keys go to Wine as typed: no echo or CR translation by the terminal driver.
            tty.setraw(0)
            os.execvpe(command[0], command, environment)
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 100, 0, 0))
        self.raw = b""

    def read_until(self, done, what):
        deadline = time.monotonic() + STEP_TIMEOUT
        while not done():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                sys.exit(f"FAIL: no {what} within {STEP_TIMEOUT} s; screen so far:\n{describe(screen_cells(self.raw))}")
            ready, _, _ = select.select([self.fd], [], [], remaining)
            if ready and not self.read_some():
                return False
        return True

    def read_some(self):
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # EIO: the console side is closed
            data = b""
        self.raw += data
        return bool(data)

    def type_line(self, line):
        os.write(self.fd, line.encode() + b"\r")  # Enter on a terminal is CR

    def wait(self):
        self.read_until(lambda: False, "end of output")
        _, status = os.waitpid(self.pid, 0)
        return os.waitstatus_to_exitcode(status)


def main():
    exe, emulator = sys.argv[1], sys.argv[2:]
    command = emulator + [exe]

    # What the program writes with its output redirected: the text to expect,
    # without colours (the attribute calls fail on a file).
    redirected = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    start = redirected.stdout.decode("latin-1").replace("\r\n", "\n")
    if not start.endswith(PROMPT):
        sys.exit(f"FAIL: redirected start does not end with the prompt: {start!r}")
    banner = start[: -len(PROMPT)]

    console = WineConsole(command, dict(os.environ))
    session = [(banner, GREEN), (PROMPT, GREEN)]
    steps = [
        ("cd alpha", []),
        ("dir", [("beta", BLUE), ("\n", None), ("README.txt\nsecret.txt\n", DEFAULT)]),
        ("cd nowhere", None),
    ]
    for line, output in steps:
        console.read_until(lambda: plain(screen_cells(console.raw)).endswith(plain(expected_cells(session))),
                           f"screen ending {session[-1][0]!r}")
        console.type_line(line)
        session.append((line + "\n", DEFAULT))  # the console's echo of the typed line
        if output is not None:
            session += output + [(PROMPT, GREEN)]
    session.append((CRASH, RED))
    status = console.wait()

    actual = screen_cells(console.raw)
    while actual and actual[-1][0] in "\n ":
        actual.pop()  # Wine may leave the cursor on a fresh line at exit
    expected = expected_cells(session)
    failures = []
    if actual != expected:
        failures.append(f"screen differs\nexpected:\n{describe(expected)}\nactual:\n{describe(actual)}")
    if status != 255:
        failures.append(f"exit status {status}, expected 255 (exit(-1))")
    if failures:
        sys.exit("FAIL: " + "\n".join(failures))
    print(f"console colours under Wine: {len(expected)} characters as expected, status {status}")


if __name__ == "__main__":
    main()
