#!/usr/bin/env python3
"""Load test of the served terminal, by each recipe of deploy/, on 127.0.0.1
only, bounded in players and time, and stopping by itself:

- a hundred players at once walk the maze to the goal file and read the flag,
  half of them ending lines as nc does, half as telnet clients do; each must
  receive exactly the bytes its own session gives when the terminal runs
  directly in a pseudo-terminal, and the games' processes must all end;
- the players come four from each of 25 loopback addresses (127.0.0.2, ...),
  the most one address may hold; while they hold every game, a fifth from
  one of them is told why it is turned away, and a burst of 500 players from
  other addresses is told their places in line at once;
- scripts that reconnect the instant their game ends hold every seat, and
  people who connect once each get the next seat that frees;
- a connection's decision costs the same CPU whether the server has 100 seats
  or 10,000;
- a connect-and-close flood from one address leaves another player's game
  starting promptly;
- players that go silent are cut off at the idle limit, players that drop
  mid-game leave no process behind, a player who floods a line is stopped
  by the memory cap, and a game that runs too long is ended with a message.

Prints games per second, CPU time per game (the terminal's and the
wrapper's apart), memory per game and in total, the burst's first-line times,
the people's waits among scripts (median and worst), the CPU time of a
connection's decision at 100 and 10,000 seats, and the flood's effect on a
player's first prompt. The test is the subreaper of the server's processes, so that
the CPU time of every process of a game is counted, orphans included. It
serves the terminal of a build with the default maze, and walks the maze with
that build's kestivfs.

usage: load_test.py BUILD_DIR [RECIPE...]   (RECIPE: socat, systemd; both by default)
"""
import asyncio
import ctypes
import os
import resource
import signal
import socket
import statistics
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import served
from checks import check, finish
from players import (EXIT, STEP_SECONDS, ReconnectingScripts, address_full, connect, first_place,
                     loopback_address, read_to_end, read_until)
from sessions import NC_LINE_END, PROMPT, TELNET_LINE_END, goal_path, reference_output, walk_to_goal
from unruly_players import drop_phase, flood_phase, idle_phase, paste_phase, time_limit_phase

PLAYERS = 100
PER_ADDRESS = 4             # KESTIV_GAMES_PER_ADDRESS's default
BURST = 500                 # players at once beyond the games, all told their place
SCRIPT_ADDRESSES = 3        # addresses whose scripts reconnect the instant a game ends
PEOPLE = 6                  # people who connect once among them
CROWD_GAME_SECONDS = 6
DECISIONS = 200             # connections turned away, for a decision's CPU time
FLOOD_THREADS = 8
FLOOD_SECONDS = 20
PR_SET_CHILD_SUBREAPER = 36
IDLE_SECONDS = 3
GAME_MEMORY_MIB = 128
WALK_SECONDS = 180          # the longest the hundred walks may take
TEST_SECONDS = 900          # the longest the whole test may take


async def walk_and_hold(connection, walk, after_release, at_flag, release):
    """One player on the connection being opened: walks to the flag a line at
    a time, waiting for each prompt, reports being there, waits for the
    release, then sends the rest at once. Returns everything received."""
    reader, writer = await connection
    received = bytearray(await read_until(reader, PROMPT))
    for line in walk:
        writer.write(line)
        received += await read_until(reader, PROMPT)
    at_flag()
    await release.wait()
    writer.write(b"".join(after_release))
    received += await read_to_end(reader)
    writer.close()
    return bytes(received)


class Muster:
    """Players who report at the flag, and the moment all of them have; the
    release lets them go on."""

    def __init__(self, players):
        self.missing = players
        self.everyone_there = asyncio.Event()
        self.release = asyncio.Event()

    def at_flag(self):
        self.missing -= 1
        if self.missing == 0:
            self.everyone_there.set()


def flag_sessions(goal, players):
    """Each player's lines: the walk to the flag, then what shows the game
    still there once all are at the flag; nc's and telnet's line ends in turn."""
    line_ends = [NC_LINE_END if player % 2 == 0 else TELNET_LINE_END for player in range(players)]
    return [[line + end for line in walk_to_goal(goal, player) + [b"cd", b"dir", EXIT]]
            for player, end in zip(range(players), line_ends)]


async def walk_phase(server, terminal, goal, flag):
    sessions = flag_sessions(goal, PLAYERS)
    terminal_cpu_before = children_cpu_seconds()
    with ThreadPoolExecutor(2) as pool:
        expected = list(pool.map(lambda lines: reference_output(terminal, b"".join(lines)), sessions))
    # The same sessions, the terminal run directly: its part of a game's CPU time.
    terminal_cpu = (children_cpu_seconds() - terminal_cpu_before) / PLAYERS

    muster = Muster(PLAYERS)
    cpu_before = served.games_cpu_seconds(server)
    started = time.monotonic()
    players = asyncio.gather(*(walk_and_hold(connect(server.port, loopback_address(player, PER_ADDRESS)),
                                             lines[:-3], lines[-3:], muster.at_flag, muster.release)
                               for player, lines in enumerate(sessions)))
    try:
        await asyncio.wait_for(muster.everyone_there.wait(), WALK_SECONDS)
        all_there = time.monotonic()
        print(f"figure  {PLAYERS} players at once walked to the flag in {all_there - started:.2f} s: "
              f"{PLAYERS / (all_there - started):.1f} games per second", flush=True)
        report_memory(server)
        report_cpu_at_flag(server)
        cpu_per_game = (served.games_cpu_seconds(server) - cpu_before) / PLAYERS
        await turned_away(server)
    finally:
        muster.release.set()
    cpu_after_flags = served.games_cpu_seconds(server)
    results = await players
    ended = time.monotonic()
    print(f"figure  the {PLAYERS} games ended {ended - all_there:.2f} s after the last flag; "
          f"{PLAYERS / (ended - started):.1f} games per second from first connection to last close",
          flush=True)

    check(all(flag.encode() in received for received in results), "every player read the flag")
    mismatched = [player for player, (received, want) in enumerate(zip(results, expected)) if received != want]
    check(not mismatched, f"every player received exactly the output of its own session (differing: {mismatched})")
    for player in mismatched[:3]:
        print(f"        player {player}: {first_difference(results[player], expected[player])}", flush=True)
    check(len(set(expected)) == PLAYERS, "no two players' sessions were alike")
    left = served.wait_for_no_games(server, 10)
    check(not left, f"every game's processes ended (left: {left})")
    cpu_per_game += (served.games_cpu_seconds(server) - cpu_after_flags) / PLAYERS
    print(f"figure  CPU time per game, all its processes: {cpu_per_game * 1000:.0f} ms (the terminal "
          f"{terminal_cpu * 1000:.0f} ms, the wrapper {(cpu_per_game - terminal_cpu) * 1000:.0f} ms), so at most "
          f"{os.cpu_count() / cpu_per_game:.0f} games per second on this machine's {os.cpu_count()} cores",
          flush=True)


def first_difference(received, want):
    """Where two outputs part, with a little of each from there."""
    at = next((i for i, (r, w) in enumerate(zip(received, want)) if r != w), min(len(received), len(want)))
    return (f"{len(received)} bytes received, {len(want)} expected, first difference at byte {at}: "
            f"received {received[at:at + 60]!r}, expected {want[at:at + 60]!r}")


def report_cpu_at_flag(server):
    """CPU time of the games' processes so far, all of them alive while their
    players stand at the flag: the terminal's and the wrapper's apart."""
    by_command = served.cpu_seconds_by_command(served.game_processes(server))
    terminal = by_command.pop("kestiv-terminal", 0)
    wrapper = sum(by_command.values())
    parts = ", ".join(f"{name} {seconds / PLAYERS * 1000:.1f}" for name, seconds in sorted(by_command.items()))
    print(f"figure  CPU time per game up to the flag: the terminal {terminal / PLAYERS * 1000:.1f} ms, "
          f"the wrapper {wrapper / PLAYERS * 1000:.1f} ms ({parts})", flush=True)


def report_memory(server):
    """Memory of the games in play: each terminal's peak resident set, and the
    proportional set of every process of the server divided by the games (the
    image's pages are shared by all terminals; this counts each its share)."""
    terminals_peak, total_pss = [], 0
    for pid in served.game_processes(server):
        try:
            name, peak, pss = served.memory_of(pid)
        except (OSError, StopIteration):
            continue
        total_pss += pss
        if name == "kestiv-terminal":
            terminals_peak.append(peak)
    check(len(terminals_peak) == PLAYERS, f"{PLAYERS} terminals ran at once ({len(terminals_peak)} seen)")
    if terminals_peak:
        print(f"figure  peak resident memory of a game's terminal: {max(terminals_peak) / 1024:.1f} MiB at most, "
              f"{sum(terminals_peak) / len(terminals_peak) / 1024:.1f} MiB on average", flush=True)
        print(f"figure  proportional memory per game, all its processes: "
              f"{total_pss / len(terminals_peak) / 1024:.1f} MiB", flush=True)


async def refused(port, address):
    """What a player from the address receives, and how long it took to the close."""
    asked = time.monotonic()
    reader, writer = await connect(port, address)
    received = await read_to_end(reader, 10)
    writer.close()
    await writer.wait_closed()
    return received, time.monotonic() - asked


def keeper_cpu_seconds(server):
    """CPU time, user and system, of the server's seat keeper."""
    fields = served._stat_fields(server.keeper.pid if server.keeper else server.process.pid)
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


async def turned_away(server):
    """With every game taken, a player from an address that holds its games
    is told so, and a burst of players from elsewhere is told their places
    in line at once."""
    received, took = await refused(server.port, loopback_address(0, PER_ADDRESS))
    check(received == address_full(PER_ADDRESS),
          f"a fifth player from one address is turned away with the reason (got {received[:120]!r})")
    games = len(served.game_processes(server))
    keeper_before = keeper_cpu_seconds(server)
    started = time.monotonic()

    async def waiting(player):
        reader, writer = await connect(server.port, f"127.{1 + player // 250}.{player % 250}.1")
        told = await read_until(reader, b"\r\n")
        return told, time.monotonic() - started, writer

    burst = await asyncio.gather(*(waiting(player) for player in range(BURST)))
    keeper_cpu = keeper_cpu_seconds(server) - keeper_before
    check(all(told.startswith(first_place(1)[:60]) for told, _, _ in burst),
          f"{BURST} players at once beyond the {PLAYERS} games are each told their place in line")
    for _, _, writer in burst:
        writer.close()
    deadline = time.monotonic() + 30
    while len(served.game_processes(server)) > games and time.monotonic() < deadline:
        time.sleep(0.05)
    seconds = sorted(took for _, took, _ in burst)
    print(f"figure  a burst of {BURST} players beyond {PLAYERS} held games read their first line in "
          f"{statistics.median(seconds):.2f} s median, {seconds[-1]:.2f} s at most; the keeper's CPU time "
          f"per connection {keeper_cpu / BURST * 1000:.2f} ms", flush=True)


async def crowd_phase(recipe, terminal, work):
    """Scripts from a few addresses reconnect the instant their games end
    and hold every seat; people who connect once, one every two seconds,
    each wait for the next seat that frees."""
    games = SCRIPT_ADDRESSES * PER_ADDRESS - 2
    server = served.start(recipe, terminal, work, games=games, game_seconds=CROWD_GAME_SECONDS,
                          game_memory=GAME_MEMORY_MIB, idle_seconds=60)
    async def person(number):
        await asyncio.sleep(2 * number)
        asked = time.monotonic()
        reader, writer = await connect(server.port, f"127.2.0.{1 + number}")
        received = await read_until(reader, PROMPT)
        waited = time.monotonic() - asked
        writer.write(EXIT + b"\n")
        await read_to_end(reader)
        writer.close()
        return received.endswith(PROMPT), waited

    scripts = None
    try:
        scripts = ReconnectingScripts(server.port, [f"127.2.1.{1 + address}" for address in range(SCRIPT_ADDRESSES)],
                                      PER_ADDRESS, CROWD_GAME_SECONDS)
        deadline = time.monotonic() + STEP_SECONDS
        while served.games_in_play(server) < games and time.monotonic() < deadline:
            await asyncio.sleep(0.1)
        people = await asyncio.gather(*(person(number) for number in range(PEOPLE)))
        await scripts.finish()
    finally:
        if scripts:
            scripts.stop.set()
        served.stop(server)
    waits = sorted(waited for _, waited in people)
    check(all(got for got, _ in people), f"each of {PEOPLE} people who connected once among scripts got a game")
    print(f"figure  {PEOPLE} people among {SCRIPT_ADDRESSES * PER_ADDRESS} reconnecting scripts "
          f"({games} seats, games of {CROWD_GAME_SECONDS} s) waited {statistics.median(waits):.1f} s median, "
          f"{waits[-1]:.1f} s at most; the scripts played {scripts.games} games meanwhile", flush=True)


async def decision_phase(recipe, terminal, work):
    """The CPU time of turning a connection away, at 100 seats and at 10,000."""
    for seats in (100, 10000):
        # The decision measured is the address's: its rate of connections is let be.
        server = served.start(recipe, terminal, work, games=seats, game_seconds=600, game_memory=GAME_MEMORY_MIB,
                              idle_seconds=60, more_settings={"KESTIV_GAMES_PER_ADDRESS": "1",
                                                              "KESTIV_CONNECTIONS_PER_MINUTE": "100000"})
        try:
            reader, writer = await connect(server.port, "127.3.0.1")
            await read_until(reader, PROMPT)
            cpu_before = served.games_cpu_seconds(server)
            keeper_before = keeper_cpu_seconds(server)
            answers = [await refused(server.port, "127.3.0.1") for _ in range(DECISIONS)]
            keeper_cpu = (keeper_cpu_seconds(server) - keeper_before) / DECISIONS
            deadline = time.monotonic() + 30
            while len(served.game_processes(server)) > 4 and time.monotonic() < deadline:
                await asyncio.sleep(0.05)
            cpu = (served.games_cpu_seconds(server) - cpu_before) / DECISIONS
            writer.close()
        finally:
            served.stop(server)
        check(all(received == address_full(1) for received, _ in answers),
              f"at {seats} seats, {DECISIONS} connections beyond their address's game are turned away")
        print(f"figure  CPU time of a connection turned away at {seats} seats: the keeper's decision "
              f"{keeper_cpu * 1000:.2f} ms, every process of the connection {cpu * 1000:.1f} ms", flush=True)


def flood_connections(port, until, counts, index):
    while time.monotonic() < until:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=10,
                                          source_address=("127.4.0.1", 0)):
                pass
            counts[index] += 1
        except OSError:
            pass


async def connect_flood_phase(recipe, terminal, work):
    """Eight threads of one address connect and close as fast as they can;
    meanwhile a player from another address starts a game every second."""
    server = served.start(recipe, terminal, work, games=PLAYERS, game_seconds=600, game_memory=GAME_MEMORY_MIB,
                          idle_seconds=60)
    counts = [0] * FLOOD_THREADS
    firsts = []
    try:
        until = time.monotonic() + FLOOD_SECONDS
        loop = asyncio.get_running_loop()
        with ThreadPoolExecutor(FLOOD_THREADS) as pool:
            flooding = [loop.run_in_executor(pool, flood_connections, server.port, until, counts, index)
                        for index in range(FLOOD_THREADS)]
            while time.monotonic() < until:
                asked = time.monotonic()
                reader, writer = await connect(server.port, "127.4.0.2")
                await read_until(reader, PROMPT)
                firsts.append(time.monotonic() - asked)
                writer.write(EXIT + b"\n")
                await read_to_end(reader)
                writer.close()
                await asyncio.sleep(max(0.0, 1 - (time.monotonic() - asked)))
            await asyncio.gather(*flooding)
        left = served.wait_for_no_games(server, 60)
        check(not left, f"the flood left no process ({len(left)} left)")
    finally:
        served.stop(server)
    firsts.sort()
    print(f"figure  under a connect-and-close flood from one address ({FLOOD_THREADS} threads, "
          f"{sum(counts) / FLOOD_SECONDS:.0f} connections a second), another player's first prompt came in "
          f"{statistics.median(firsts):.2f} s median, {firsts[-1]:.2f} s at most ({len(firsts)} games)", flush=True)


def children_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


async def main(recipe, terminal, goal, flag):
    with tempfile.TemporaryDirectory() as work:
        print(f"== {recipe}: {PLAYERS} players walking to the flag", flush=True)
        server = served.start(recipe, terminal, work, games=PLAYERS, game_seconds=600,
                              game_memory=GAME_MEMORY_MIB, idle_seconds=120)
        try:
            await walk_phase(server, terminal, goal, flag)
            print(f"== {recipe}: a long paste, dropped players, a flood", flush=True)
            await paste_phase(server, terminal, goal)
            await drop_phase(server, terminal)
            flood_phase(server, GAME_MEMORY_MIB)
        finally:
            served.stop(server)

        print(f"== {recipe}: silent players, idle limit {IDLE_SECONDS} s", flush=True)
        server = served.start(recipe, terminal, work, games=10, game_seconds=600,
                              game_memory=GAME_MEMORY_MIB, idle_seconds=IDLE_SECONDS)
        try:
            await idle_phase(server, terminal, IDLE_SECONDS)
        finally:
            served.stop(server)

        print(f"== {recipe}: scripts that reconnect at once, and people", flush=True)
        await crowd_phase(recipe, terminal, work)
        print(f"== {recipe}: a connection's decision at 100 and 10,000 seats", flush=True)
        await decision_phase(recipe, terminal, work)
        print(f"== {recipe}: a connect-and-close flood", flush=True)
        await connect_flood_phase(recipe, terminal, work)

        print(f"== {recipe}: one game at once, 3 seconds long", flush=True)
        server = served.start(recipe, terminal, work, games=1, game_seconds=3,
                              game_memory=GAME_MEMORY_MIB, idle_seconds=60)
        try:
            await time_limit_phase(server, terminal, 3)
        finally:
            served.stop(server)


def out_of_time(*_):
    raise TimeoutError(f"the load test ran past {TEST_SECONDS} s")


def build_settings(build):
    """The build's terminal, the walk to its maze's goal file, and the flag."""
    cache = (build / "CMakeCache.txt").read_text()
    flag = next(line.split("=", 1)[1] for line in cache.splitlines() if line.startswith("KESTIV_FLAG:"))
    goal = goal_path(build / "image" / "kestivfs" / "kestivfs", build / "default-maze.img", flag.encode())
    return build / "kestiv-terminal", goal, flag


if __name__ == "__main__":
    if len(sys.argv) < 2 or not set(sys.argv[2:]) <= set(served.RECIPES):
        sys.exit(__doc__)
    terminal, goal, flag = build_settings(Path(sys.argv[1]).resolve())
    # Processes a server leaves without a parent come here, and are counted.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(TEST_SECONDS)
    for recipe in sys.argv[2:] or served.RECIPES:
        asyncio.run(main(recipe, terminal, goal, flag))
    finish()
