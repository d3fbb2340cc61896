#!/usr/bin/env python3
"""Plays the served terminal with the real clients a player would use, nc
(netcat-openbsd), telnet (inetutils-telnet, in its usual line mode and in
character mode, where it negotiates options) and PuTTY's plink -telnet (which
negotiates at once), each in a terminal of its own, typing a line at a time
as a person does, by both recipes of deploy/. What the player's screen
receives must be exactly the game's output with each typed line echoed once,
by the player's own client: the service echoes nothing, answers every
negotiation without a byte of it reaching the game, and takes nc's LF and
telnet's CR LF alike. Ctrl-D at the start of a line ends the game as the
end of input does.

usage: clients_test.py TERMINAL
"""
import os
import pty
import select
import signal
import sys
import tempfile
import time
from pathlib import Path

import served
from checks import check, finish
from sessions import PROMPT, as_typed, reference_output

STEP_SECONDS = 30
SESSION = [b"dir", b"type README.txt", b"cd ..", b"dir", b"cd nope"]
CRASH = b"\x1b[31mOh no, CRAAAAAAAAAAASH\x1b[0m"
TELNET_OPENING = b"Trying 127.0.0.1...\r\nConnected to 127.0.0.1.\r\nEscape character is '^]'.\r\n"
TELNET_CLOSING = b"Connection closed by foreign host.\r\n"

def play(client, lines, enter=b"\r", home=None):
    """Runs the client in a pseudo-terminal (with HOME at `home` when given),
    types each line with Enter once the previous answer has come, and returns
    what its screen received and whether the client ended by itself."""
    pid, screen = pty.fork()
    if pid == 0:
        if home:
            os.environ["HOME"] = home
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
        os.write(screen, line + enter)
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
    ended_at_once = reference_output(terminal, b"")
    with tempfile.TemporaryDirectory() as work:
        # inetutils telnet reads its modes from ~/.telnetrc.
        Path(work, ".telnetrc").write_text("127.0.0.1\n  mode character\n")
        for recipe in served.RECIPES:
            server = served.start(recipe, terminal, work, games=4, game_seconds=600, game_memory=128,
                                  idle_seconds=60)
            try:
                port = str(server.port)
                nc = ["nc", "127.0.0.1", port]
                telnet = ["telnet", "127.0.0.1", port]
                plink = ["plink", "-telnet", "-batch", "-P", port, "127.0.0.1"]
                # nc's and plink's side is a terminal in its usual mode, which shows a line end as CR LF.
                on_terminal = with_echoes(output.replace(b"\n", b"\r\n"), SESSION)
                on_telnet = TELNET_OPENING + with_echoes(output, SESSION) + TELNET_CLOSING
                # nc ends only when its own input does.
                for name, client, home, expected, ends in (
                        ("nc", nc, None, on_terminal, False),
                        ("telnet", telnet, None, on_telnet, True),
                        ("telnet in character mode", telnet, work, on_telnet, True),
                        ("plink -telnet", plink, None, on_terminal, True)):
                    screen, ended = play(client, SESSION, home=home)
                    check(screen == expected, f"{recipe}, {name}: the screen shows the game, each typed line once")
                    if ends:
                        check(ended, f"{recipe}, {name}: the client ends with the game")
                for name, client, home, expected in (
                        ("telnet", telnet, None, TELNET_OPENING + ended_at_once + TELNET_CLOSING),
                        ("telnet in character mode", telnet, work, TELNET_OPENING + ended_at_once + TELNET_CLOSING),
                        ("plink -telnet", plink, None, ended_at_once.replace(b"\n", b"\r\n"))):
                    screen, ended = play(client, [b"\x04"], enter=b"", home=home)
                    check(screen == expected and ended,
                          f"{recipe}, {name}: Ctrl-D at the start of a line ends the game ({screen[-60:]!r})")
                log = served.wait_for_log(server, [b"ended: input ended"] * 3)
                check(log.count(b"ended: input ended") == 3, f"{recipe}: each Ctrl-D ended the game as its input")
                check(not served.wait_for_no_games(server, 10), f"{recipe}: the games left no process")
            finally:
                served.stop(server)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
    finish()
