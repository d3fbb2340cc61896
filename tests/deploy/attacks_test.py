#!/usr/bin/env python3
"""The served terminal against players who try to take it down, by both
recipes of deploy/ on loopback addresses: one address holding many games,
a game whose limits cannot be set, a keeper's folder that is not the
server's own, a player who sends more than the game reads, a silent player
and one who never ends a line, a game past its time, IPv6, and a server
stopped with games in play. The settings a server refuses and the crowds of
scripts are crowd_test.py's.

usage: attacks_test.py TERMINAL
"""
import asyncio
import contextlib
import os
import resource
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import served
from checks import check, finish
from players import (CANNOT_START, EXIT, SHUTDOWN_ENDING, address_full, connect, idle_ending, loopback_address,
                     network_full, read_to_end, read_until)
from sessions import PROMPT, opening_output, reference_output

GAME = served.DEPLOY / "kestiv-game"
PER_ADDRESS = 4
IDLE_SECONDS = 2


@contextlib.contextmanager
def keeper(terminal, folder, settings=None):
    """The seat keeper alone on the folder, as systemd's unit runs it."""
    environment = dict(os.environ, KESTIV_SEATS=str(folder), **(settings or {}))
    process = subprocess.Popen([str(Path(terminal).parent / "kestiv-seat"), "--keep"], env=environment,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # Its first line tells that it listens, or why it does not.
    process.stderr.readline()
    try:
        yield process
    finally:
        process.terminate()
        process.communicate(timeout=10)


def run_game(terminal, environment, typed=EXIT + b"\n", limits=()):
    """Runs kestiv-game directly on pipes, as a bridge would; returns what
    the player reads and what the log says."""
    def lower_limits():
        for resource_number, value in limits:
            resource.setrlimit(resource_number, (value, value))

    game = subprocess.run([str(GAME), str(terminal)], input=typed, capture_output=True, timeout=60,
                          env=dict(os.environ, **environment), preexec_fn=lower_limits)
    return game.stdout, game.stderr.decode(errors="replace")


def limits_cases(terminal, work):
    """A memory cap that cannot be set stops the game; settings at their
    upper bounds start one; a game's own environment changes nothing of the
    limits the keeper gives it."""
    seats = Path(work) / "seats"
    seats.mkdir(mode=0o700)
    with keeper(terminal, seats, {"KESTIV_GAMES": "10000", "KESTIV_GAME_MEMORY": "128",
                                  "KESTIV_IDLE_SECONDS": "86400"}):
        said, _ = run_game(terminal, {"KESTIV_SEATS": str(seats)})
        check(said == reference_output(terminal, EXIT + b"\n"), "settings at their upper bounds start a game")
        said, log = run_game(terminal, {"KESTIV_SEATS": str(seats)}, limits=[(resource.RLIMIT_AS, 64 << 20)])
        check(said == CANNOT_START and "memory limit" in log,
              f"a memory cap that cannot be set stops the game, with the reason logged ({log.strip()[:100]!r})")
        said, _ = run_game(terminal, {"KESTIV_SEATS": str(seats), "KESTIV_GAME_MEMORY": "65536"},
                           limits=[(resource.RLIMIT_AS, 512 << 20)])
        check(said == reference_output(terminal, EXIT + b"\n"),
              "a game's own environment cannot raise the limits the keeper gives it")


def cpu_case(terminal, work):
    """A script pasted at once that would take the game more CPU time than
    its cap: the game ends when the cap is reached."""
    seats = Path(work) / "cpu-seats"
    seats.mkdir(mode=0o700)
    typed = b"dir\n" * 400000 + EXIT + b"\n"
    with keeper(terminal, seats, {"KESTIV_GAME_CPU_SECONDS": "1"}):
        usage_before = resource.getrusage(resource.RUSAGE_CHILDREN)
        said, _ = run_game(terminal, {"KESTIV_SEATS": str(seats)}, typed)
        usage_after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = usage_after.ru_utime + usage_after.ru_stime - usage_before.ru_utime - usage_before.ru_stime
    answered = said.count(PROMPT) - 1
    check(answered < 400000 and cpu < 3, f"a game that reaches KESTIV_GAME_CPU_SECONDS=1 is ended there "
                                         f"({cpu:.1f} s of CPU, {answered} of 400000 commands answered)")


def seats_folder_cases(terminal, work):
    """A keeper's folder someone else could reach: another user's, open to
    others, or a link; each stops the game, and the keeper, before either
    touches the folder."""
    mine = Path(work) / "mine"
    mine.mkdir(mode=0o700)
    open_to_others = Path(work) / "open"
    open_to_others.mkdir()
    open_to_others.chmod(0o755)
    link = Path(work) / "link"
    link.symlink_to(mine)
    folders = [("open to others", open_to_others), ("a link to a folder of ours", link),
               ("missing", Path(work) / "missing")]
    if os.geteuid() == 0:
        squatted = Path(work) / "squatted"
        squatted.mkdir(mode=0o700)
        os.chown(squatted, 65534, 65534)
        folders.append(("another user's", squatted))
    for what, folder in folders:
        said, log = run_game(terminal, {"KESTIV_SEATS": str(folder)})
        check(said == CANNOT_START and str(folder) in log,
              f"a seats folder {what} stops the game with a line to the player and the reason in the log "
              f"(said {said[:80]!r}, logged {log.strip()[:100]!r})")
        with keeper(terminal, folder) as refused:
            status = refused.wait(10)
        check(status == 1, f"a seats folder {what} stops the keeper (status {status})")
    check(not any(mine.iterdir()), "nothing was made in the folder a link points to")
    with keeper(terminal, mine):
        said, _ = run_game(terminal, {"KESTIV_SEATS": str(mine)})
        check(said == reference_output(terminal, EXIT + b"\n"), "a private seats folder serves a game")
        modes = {entry.name: stat.S_IFMT(entry.stat().st_mode) for entry in mine.iterdir()}
        check(modes == {"keeper": stat.S_IFSOCK}, f"the folder holds the keeper's socket alone ({modes})")
    said, log = run_game(terminal, {})
    check(said == CANNOT_START and "no keeper" in log, f"without a keeper to ask, the game does not start "
                                                       f"({log.strip()[:100]!r})")


async def hoarder_case(server, terminal, recipe, client="127.0.0.1", server_address="127.0.0.1"):
    """One address holds its games; the next from it is turned away with the
    reason, while a player from elsewhere still gets a game."""
    held = [await connect(server.port, client, server_address) for _ in range(PER_ADDRESS)]
    # IPv6 addresses count by their /64.
    refusal = address_full(PER_ADDRESS) if "." in client else network_full(PER_ADDRESS, "::/64")
    for reader, writer in held:
        await read_until(reader, PROMPT)
        writer.write(b"d")  # a trickle, never a whole line
    reader, writer = await connect(server.port, client, server_address)
    refused = await read_to_end(reader, 10)
    writer.close()
    check(refused == refusal,
          f"{recipe}: the game beyond {PER_ADDRESS} from {client} is refused with the reason (got {refused[:100]!r})")
    if client.startswith("127."):
        reader, writer = await connect(server.port, "127.0.0.2")
        check(await read_until(reader, PROMPT) == opening_output(terminal),
              f"{recipe}: a player from another address still gets a game")
        writer.close()
    for _, writer in held:
        writer.close()
        await writer.wait_closed()
    left = served.wait_for_no_games(server, 10)
    check(not left, f"{recipe}: the hoarder's games left no process (left: {served.describe(left)})")


async def ending_case(server, terminal, recipe):
    """Players who send far more than the game reads still get its whole
    output, and a clean close rather than a reset."""
    typed = b"dir\nexit\n" + b"dir\n" * 50000
    expected = reference_output(terminal, b"dir\nexit\n")
    outcomes = []
    for _ in range(8):
        reader, writer = await connect(server.port)
        writer.write(typed)
        try:
            outcomes.append(await read_to_end(reader, 20) == expected)
        except ConnectionResetError:
            outcomes.append(False)
        writer.close()
    check(all(outcomes), f"{recipe}: a player who sent more than the game read gets all of its output "
                         f"and a clean close ({outcomes.count(True)} of {len(outcomes)})")


async def idle_case(server, terminal, recipe):
    """A silent player and one whose lines end in CR alone are told why they are cut."""
    opening = opening_output(terminal)
    for what, typed in (("a silent player", b""), ("a player ending lines with CR alone", b"dir\r")):
        reader, writer = await connect(server.port)
        received = await read_until(reader, PROMPT)
        writer.write(typed)
        received += await read_to_end(reader, IDLE_SECONDS + 10)
        writer.close()
        check(received == opening + idle_ending(IDLE_SECONDS),
              f"{recipe}: {what} is cut at the idle limit with the reason (ends {received[-70:]!r})")


async def time_up_case(server, terminal, recipe, seconds):
    reader, writer = await connect(server.port)
    await read_until(reader, PROMPT)
    writer.write(b"dir\n")
    received = await read_to_end(reader, seconds + 10)
    writer.close()
    check(received.endswith(f"\x1b[0m\r\n\r\nTime is up: a game lasts at most {seconds} seconds.\r\n".encode()),
          f"{recipe}: a game past its time ends with the message (ends {received[-70:]!r})")


async def ipv6_case(terminal, work, recipe):
    for listen, clients in (("::1", ["::1"]), ("", ["::1", "127.0.0.1"])):
        server = served.start(recipe, terminal, work, games=10, game_seconds=60, game_memory=128,
                              idle_seconds=30, listen=listen)
        try:
            for client in clients:
                reader, writer = await connect(server.port, client, client)
                writer.write(EXIT + b"\n")
                received = await read_to_end(reader, 20)
                writer.close()
                check(received == reference_output(terminal, EXIT + b"\n"),
                      f"{recipe}: listening on {listen or 'every address'}, a player from {client} plays")
            if listen == "::1":
                await hoarder_case(server, terminal, recipe, "::1", "::1")
        finally:
            served.stop(server)


async def stopped_case(terminal, work):
    """SIGTERM to serve-with-socat with games in play, some mid-line: each
    player is told why the game ends, then the server ends on the signal and
    leaves no process behind."""
    server = served.start("socat", terminal, work, games=10, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        players = [await connect(server.port, loopback_address(player, 1)) for player in range(6)]
        for number, (reader, writer) in enumerate(players):
            await read_until(reader, PROMPT)
            writer.write(b"di" if number % 2 else b"dir\n")
        await asyncio.sleep(0.5)
        os.kill(server.process.pid, signal.SIGTERM)
        endings = [await read_to_end(reader, 10) for reader, _ in players]
        for _, writer in players:
            writer.close()
        check(all(ending.endswith(SHUTDOWN_ENDING) for ending in endings),
              f"socat: SIGTERM ends every game in play with the message "
              f"(ends {[ending[-60:] for ending in endings if not ending.endswith(SHUTDOWN_ENDING)][:2]})")
        status = await asyncio.to_thread(server.process.wait, 10)
        check(status == 128 + signal.SIGTERM, f"socat: the server ends on SIGTERM itself (status {status})")
        left = served.wait_for_no_games(server, 5)
        check(not left, f"socat: the stopped server left no process (left: {served.describe(left)})")
    finally:
        served.stop(server)


async def served_cases(terminal, work):
    for recipe in served.RECIPES:
        server = served.start(recipe, terminal, work, games=10, game_seconds=600, game_memory=128,
                              idle_seconds=IDLE_SECONDS, more_settings={"KESTIV_GAMES_PER_ADDRESS": str(PER_ADDRESS)})
        try:
            await hoarder_case(server, terminal, recipe)
            await ending_case(server, terminal, recipe)
            await idle_case(server, terminal, recipe)
        finally:
            served.stop(server)
        server = served.start(recipe, terminal, work, games=10, game_seconds=2, game_memory=128, idle_seconds=60)
        try:
            await time_up_case(server, terminal, recipe, 2)
        finally:
            served.stop(server)
        await ipv6_case(terminal, work, recipe)
    await stopped_case(terminal, work)


def main(terminal):
    with tempfile.TemporaryDirectory() as work:
        limits_cases(terminal, work)
        cpu_case(terminal, work)
    with tempfile.TemporaryDirectory() as work:
        seats_folder_cases(terminal, work)
    with tempfile.TemporaryDirectory() as work:
        asyncio.run(served_cases(terminal, work))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    socket.setdefaulttimeout(60)
    main(Path(sys.argv[1]).resolve())
    finish()
