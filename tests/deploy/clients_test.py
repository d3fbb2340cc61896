#!/usr/bin/env python3
"""Plays the served terminal with the real clients a player would use, nc
(netcat-openbsd) and telnet (inetutils-telnet), each in a terminal of its own,
typing a line at a time as a person does, by both recipes of deploy/. What
the player's screen receives must be exactly the game's output with each
typed line echoed once, by the player's own terminal: the service echoes
nothing, and takes nc's LF and telnet's CR LF alike.

usage: clients_test.py TERMINAL
"""
import os
import pty
import select
import signal
import sys
import tempfile
import time

import served
from checks import check, finish
from sessions import PROMPT, as_typed, reference_output

STEP_SECONDS = 30
SESSION = [b"dir", b"type README.txt", b"cd ..", b"dir", b"cd nope"]
CRASH = b"\x1b[31mOh no, CRAAAAAAAAAAASH\x1b[0m"
TELNET_OPENING = b"Trying 127.0.0.1...\r\nConnected to 127.0.0.1.\r\nEscape character is '^]'.\r\n"
TELNET_CLOSING = b"Connection closed by foreign host.\r\n"

def play(client, lines):
    """Runs the client in a pseudo-terminal, types each line with Enter once
    the previous answer has come, and returns what its screen received and
    whether the client ended by itself."""
    pid, screen = pty.fork()
    if pid == 0:
        os.execvp(client[0], client)
    received = bytearray()

    def receive(enough, seconds=STEP_SECONDS):
        deadline = time.monotonic() + seconds
        while not enough() and time.monotonic() < deadline:
            if select.select([screen], [], [], 0.1)[0]:
                try:
                    chunk = os.read(screen, 1 << 16)
                except OSError:  # EIO: the client has ended
                    return True
                if not chunk:
                    return True
                received.extend(chunk)
        return False

    receive(lambda: PROMPT in received)
    for line in lines:
        answers = received.count(PROMPT)
        os.write(screen, line + b"\r")
        receive(lambda: received.count(PROMPT) > answers or received.endswith(CRASH))
    ended = receive(lambda: False, 2)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    os.close(screen)
    return bytes(received), ended


def with_echoes(output, lines):
    """The game's output with each typed line echoed, as the player's terminal
    does, right after the prompt it answers."""
    first, *answers = output.split(PROMPT)
    return first + b"".join(PROMPT + line + b"\r\n" + answer for line, answer in zip(lines, answers))


def main(terminal):
    output = reference_output(terminal, as_typed(SESSION, b"\n"))
    with tempfile.TemporaryDirectory() as work:
        for recipe in served.RECIPES:
            server = served.start(recipe, terminal, work, games=4, game_seconds=600, game_memory=128,
                                  idle_seconds=60)
            try:
                port = str(server.port)
                # nc's side is a terminal in its usual mode, which shows a line end as CR LF.
                screen, _ = play(["nc", "127.0.0.1", port], SESSION)
                check(screen == with_echoes(output.replace(b"\n", b"\r\n"), SESSION),
                      f"{recipe}, nc: the screen shows the game, each typed line once")
                screen, ended = play(["telnet", "127.0.0.1", port], SESSION)
                check(screen == TELNET_OPENING + with_echoes(output, SESSION) + TELNET_CLOSING,
                      f"{recipe}, telnet: the screen shows the game, each typed line once")
                check(ended, f"{recipe}, telnet: the client ends with the game")
                check(not served.wait_for_no_games(server, 10), f"{recipe}: the games left no process")
            finally:
                served.stop(server)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
    finish()
