#!/usr/bin/env python3
"""The bytes a served game sends, by both recipes of deploy/: exactly what
its terminal wrote, each LF as CR LF, however much it writes and however
slowly the player reads. The terminal here is a program that writes without
end (yes), read by a player whose socket takes little at a time.

usage: relay_test.py TERMINAL
"""
import shutil
import socket
import sys
import tempfile
from pathlib import Path

import served
from checks import check, finish

ENDLESS = shutil.which("yes")
LINE = b"y\r\n"
READ_BYTES = 8 << 20
STEP_SECONDS = 60


def read_slowly(port):
    """Up to READ_BYTES of a game, through a small receive buffer in small reads."""
    with socket.socket() as player:
        player.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 2048)
        player.settimeout(STEP_SECONDS)
        player.connect(("127.0.0.1", port))
        received = bytearray()
        while len(received) < READ_BYTES:
            chunk = player.recv(1024)
            if not chunk:
                break
            received += chunk
        return bytes(received)


def main(terminal):
    with tempfile.TemporaryDirectory() as work:
        endless = Path(work) / "kestiv-terminal"
        shutil.copy(ENDLESS, endless)
        shutil.copy(Path(terminal).parent / "kestiv-seat", work)
        for recipe in served.RECIPES:
            server = served.start(recipe, endless, work, games=2, game_seconds=600, game_memory=128,
                                  idle_seconds=60, more_settings={"KESTIV_GAME_CPU_SECONDS": "600"})
            try:
                received = read_slowly(server.port)
                whole = len(received) // len(LINE) * len(LINE)
                doubled = received.count(b"\r\r\n")
                check(len(received) >= READ_BYTES and received[:whole] == LINE * (whole // len(LINE))
                      and LINE.startswith(received[whole:]),
                      f"{recipe}: {len(received)} bytes read slowly are the terminal's own, each LF as CR LF "
                      f"({doubled} CR CR LF)")
                check(not served.wait_for_no_games(server, 20), f"{recipe}: the game left no process")
            finally:
                served.stop(server)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
    finish()
