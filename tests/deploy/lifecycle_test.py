#!/usr/bin/env python3
"""A server's life while games play, by both recipes of deploy/: the terminal
rebuilt in place changes no game; SIGHUP takes the settings (the environment
and KESTIV_SETTINGS_FILE) and the terminal again for the games that start
from then, refusing a bad one with the old kept; games in play keep their
terminal and limits; a game whose kestiv-seat is killed ends with it and
frees its seat.

usage: lifecycle_test.py TERMINAL
"""
import asyncio
import os
import shutil
import signal
import sys
import tempfile
import time
from pathlib import Path

import served
from checks import check, finish
from players import EXIT, connect, idle_ending, read_to_end, read_until
from sessions import PROMPT, opening_output, reference_output

# A program of this machine's kind whose output no game's is: what a game
# runs once the server has taken it as its terminal.
OTHER_PROGRAM = shutil.which("uname")


def keeper_pid(server):
    """The process that takes SIGHUP: the keeper."""
    return (server.keeper or server.process).pid


def replace(path, source=None, text=b"not a program"):
    """Puts a new file at path, as a build does: the running games keep the old one."""
    path.unlink()
    if source:
        shutil.copy(source, path)
    else:
        path.write_bytes(text)
        path.chmod(0o755)


async def reload(server, expected, seconds=30):
    """Sends SIGHUP and returns what the server logs from then, once it holds
    the line that answers it."""
    said_before = len(server.log.read_bytes())
    os.kill(keeper_pid(server), signal.SIGHUP)
    deadline = time.monotonic() + seconds
    while expected not in (said := server.log.read_bytes()[said_before:]) and time.monotonic() < deadline:
        await asyncio.sleep(0.05)
    return said


async def play(port, typed, seconds=30):
    reader, writer = await connect(port)
    writer.write(typed)
    received = await read_to_end(reader, seconds)
    writer.close()
    return received


async def reload_cases(recipe, original, work):
    """Rebuilds in place and reloads while a game plays."""
    terminal = Path(work) / f"{recipe}-maze" / "kestiv-terminal"
    terminal.parent.mkdir()
    shutil.copy(original, terminal)
    # The recipes run the kestiv-seat beside the terminal.
    shutil.copy(Path(original).parent / "kestiv-seat", terminal.parent)
    settings_file = Path(work) / f"{recipe}-settings"
    settings_file.write_text("# the contest's settings\nKESTIV_GAMES_PER_ADDRESS=8\n")
    server = served.start(recipe, terminal, work, games=4, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_SETTINGS_FILE": str(settings_file)})
    try:
        reader, writer = await connect(server.port)
        check(await read_until(reader, PROMPT) == opening_output(original), f"{recipe}: a game plays")
        replace(terminal)
        check(await play(server.port, b"dir\nexit\n") == reference_output(original, b"dir\nexit\n"),
              f"{recipe}: with the terminal rebuilt in place, a new game plays the server's copy")
        said = await reload(server, b"the settings and the terminal in force stay")
        check(b"not reloaded: the terminal " in said and b"is no program that can be run" in said,
              f"{recipe}: a reload with no program at the terminal's place is refused, saying why ({said!r})")
        check(await play(server.port, b"exit\n") == reference_output(original, b"exit\n"),
              f"{recipe}: after a refused reload, a new game plays the terminal in force")
        replace(terminal, OTHER_PROGRAM)
        settings_file.write_text("KESTIV_GAMES_PER_ADDRESS=8\nKESTIV_IDLE_SECONDS=2\n")
        said = await reload(server, b"reloaded")
        check(b"reloaded: the terminal of " in said and b"KESTIV_IDLE_SECONDS=2 " in said,
              f"{recipe}: a reload names the terminal and the settings it took ({said!r})")
        uname = os.popen(OTHER_PROGRAM).read().encode()
        check(await play(server.port, b"") == uname.replace(b"\n", b"\r\n"),
              f"{recipe}: after the reload, a new game runs the new terminal")
        replace(terminal, original)
        await reload(server, b"reloaded")
        check(await play(server.port, b"", 20) == opening_output(original) + idle_ending(2),
              f"{recipe}: after the reload, a new game keeps the new idle limit")
        writer.write(b"dir\n")
        opening = opening_output(original)
        listing = reference_output(original, b"dir\n")
        listing = listing[len(opening):listing.index(PROMPT, len(opening)) + len(PROMPT)]
        check(await read_until(reader, PROMPT) == listing,
              f"{recipe}: the game in play since before the reloads plays on with its own terminal and limits")
        settings_file.write_text("KESTIV_GAMES=0\nKESTIV_IDLE_SECONDS=2\n")
        said = await reload(server, b"the settings and the terminal in force stay")
        check(b"not reloaded: KESTIV_GAMES must be a whole number from 1" in said,
              f"{recipe}: a reload with a bad setting is refused, naming it ({said!r})")
        writer.write(EXIT + b"\n")
        await read_to_end(reader)
        writer.close()
        check(server.process.poll() is None, f"{recipe}: the server serves on after every reload")
    finally:
        served.stop(server)


async def seat_killed_case(recipe, terminal, work):
    """A game whose kestiv-seat is killed ends with it: nothing plays outside the count."""
    server = served.start(recipe, terminal, work, games=1, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        reader, writer = await connect(server.port)
        await read_until(reader, PROMPT)
        seats = [pid for pid in served.game_processes(server)
                 if Path(f"/proc/{pid}/exe").resolve().name == "kestiv-seat"]
        for pid in seats:
            os.kill(pid, signal.SIGKILL)
        left = await asyncio.to_thread(served.wait_for_no_games, server, 20)
        check(seats and not left, f"{recipe}: a game whose kestiv-seat is killed leaves no process "
                                  f"(left: {served.describe(left)})")
        writer.close()
        check(await play(server.port, b"exit\n") == reference_output(terminal, b"exit\n"),
              f"{recipe}: its seat is free again")
    finally:
        served.stop(server)


async def main(terminal):
    with tempfile.TemporaryDirectory() as work:
        for recipe in served.RECIPES:
            await reload_cases(recipe, terminal, work)
            await seat_killed_case(recipe, terminal, work)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    asyncio.run(main(sys.argv[1]))
    finish()
