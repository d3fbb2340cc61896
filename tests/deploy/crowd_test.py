#!/usr/bin/env python3
"""The served terminal against a crowd of scripts, by both recipes of deploy/,
on loopback addresses: players beyond the seats wait in line on their
connection and are told their place; a group that reconnects at once never
overtakes a player who waits; IPv6 addresses count by their /64; a burst is
answered at once; the seats live where no file can be filled or deleted; a
server killed in any way leaves nothing listening; every end of a game says
why; the terminal holds no descriptor of the server's; a terminal that
cannot be run; the PROXY protocol; proof of work; the browser bridge; the
settings a server refuses; the log.

As root, the whole test runs in a network namespace of its own, where a
whole IPv6 /64 is local and players may come from any address of it.

usage: crowd_test.py TERMINAL
"""
import asyncio
import os
import re
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

import served
import websocket_client
from checks import check, finish
from players import (BRIDGE_END, CANNOT_START, EXIT, LINE_FULL, SHUTDOWN_ENDING, SHUTDOWN_LINE, STEP_SECONDS,
                     ReconnectingScripts, address_full, connect, duration, first_place, idle_ending, network_full, new_place, read_to_end,
                     read_until)
from sessions import PROMPT, opening_output, reference_output

NAMESPACED = "--in-own-network"
IPV6_NETWORK = "2001:db8:5::"  # local as a whole inside the namespace (/48)
KEEPER_GONE = b"kestiv's terminal has stopped while you waited. Try again in a few minutes.\r\n"
BAD_PROXY = (b"kestiv's terminal takes its players only through the contest's own address. Connect to "
             b"that one.\r\n")
MARKER = b"a-player-s-own-bytes-7f3a"


def cpu_ending(seconds):
    return f"\x1b[0m\r\n\r\nThe game used all of its {duration(seconds)} of CPU time: the game is over.\r\n".encode()


def memory_ending(mib):
    return f"\x1b[0m\r\n\r\nThe game used all of its {mib} MiB of memory: the game is over.\r\n".encode()


async def first_line(reader):
    return await read_until(reader, b"\r\n")


async def held_game(port, address, server_address="127.0.0.1"):
    """A player who has a game and sits at its first prompt."""
    reader, writer = await connect(port, address, server_address)
    await read_until(reader, PROMPT)
    return reader, writer


async def close_all(writers):
    for writer in writers:
        writer.close()
    for writer in writers:
        try:
            await writer.wait_closed()
        except OSError:
            pass


async def line_case(terminal, work, recipe):
    """Two seats, a line of four: the next players are told their place,
    the one after them that the line is full; a group's waiting connections
    count against its limit. A freed seat starts the first in line's game on
    the same connection, and the others are told their new place."""
    fates = [b": game started\n", b": waits at 1\n", b": turned away: the line is full\n",
             b": game started after ", b": ended: left the game or crashed\n", b": left the line: player gone\n"]
    server = served.start(recipe, terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_LINE": "4", "KESTIV_GAMES_PER_ADDRESS": "2"})
    opening = opening_output(terminal)
    try:
        seated = [await held_game(server.port, f"127.0.0.{2 + n}") for n in range(2)]
        waiting = []
        for number, address in enumerate(("127.0.1.1", "127.0.1.2", "127.0.1.3", "127.0.1.1")):
            reader, writer = await connect(server.port, address)
            told = await first_line(reader)
            check(told == first_place(number + 1), f"{recipe}: player {number + 1} beyond the seats is told "
                                                   f"their place at once (got {told!r})")
            waiting.append((reader, writer))
        reader, writer = await connect(server.port, "127.0.1.1")
        told = await read_to_end(reader, 10)
        writer.close()
        check(told == address_full(2), f"{recipe}: a group's waiting connections count against its limit "
                                       f"(got {told!r})")
        reader, writer = await connect(server.port, "127.0.1.9")
        told = await read_to_end(reader, 10)
        writer.close()
        check(told == LINE_FULL, f"{recipe}: beyond the line, a player is told the line is full (got {told!r})")

        seated[0][1].write(EXIT + b"\n")
        await read_to_end(seated[0][0])
        received = await read_until(waiting[0][0], PROMPT)
        check(received == opening, f"{recipe}: the first in line gets the freed seat, its game starting on the "
                                   f"same connection")
        told = [await first_line(reader) for reader, _ in waiting[1:]]
        check(told == [new_place(1), new_place(2), new_place(3)],
              f"{recipe}: the others are told their new places, a group with a game in play behind the "
              f"others ({told})")
        waiting[0][1].write(b"dir " + MARKER + b"\n")
        await read_to_end(waiting[0][0])
        await close_all([writer for _, writer in seated + waiting])
        left = served.wait_for_no_games(server, 10)
        check(not left, f"{recipe}: the line left no process (left: {served.describe(left)})")
        log = served.wait_for_log(server, fates)
    finally:
        served.stop(server)
    check(all(fate in log for fate in fates), f"{recipe}: the log tells each connection's fate "
                                              f"({[fate for fate in fates if fate not in log]} missing)")
    check(re.search(rb"connection \d+ from 127\.0\.1\.2: waits at 2\n", log),
          f"{recipe}: a fate's line names the connection and its group")
    check(MARKER not in log, f"{recipe}: the log holds none of the player's bytes")


async def fairness_case(terminal, work, recipe):
    """Two addresses whose scripts reconnect the instant a game ends hold
    every seat; a person who connects once gets the next seat that frees."""
    game_seconds = 3
    server = served.start(recipe, terminal, work, games=3, game_seconds=game_seconds, game_memory=128,
                          idle_seconds=60, more_settings={"KESTIV_GAMES_PER_ADDRESS": "3"})
    try:
        scripts = ReconnectingScripts(server.port, ("127.0.2.1", "127.0.2.2"), 3, game_seconds)
        deadline = time.monotonic() + STEP_SECONDS
        while served.games_in_play(server) < 3 and time.monotonic() < deadline:
            await asyncio.sleep(0.1)
        asked = time.monotonic()
        reader, writer = await connect(server.port, "127.0.2.9")
        received = await read_until(reader, PROMPT)
        waited = time.monotonic() - asked
        writer.close()
        await scripts.finish()
        # Ahead of the person, at most the first waiting player of the one
        # script group that may have no game in play just then.
        check(received.startswith((first_place(1), first_place(2))) and received.endswith(PROMPT),
              f"{recipe}: a person who connects once while scripts reconnect at once is told a place no script "
              f"group with a game can take, and gets a game (after {waited:.1f} s; games are {game_seconds} s, "
              f"the scripts played {scripts.games}; first told {received[:100]!r})")
    finally:
        served.stop(server)


def place_told(line):
    """The place a first line in line tells, or None."""
    found = re.match(rb"kestiv's terminal is playing every game it can: you are number (\d+) ", line)
    return int(found.group(1)) if found else None


async def scripts_against_person_case(terminal, work):
    """50 script groups keep 4 connections each in play or waiting, each
    reconnecting the instant its game ends; a person who connects then is
    seated at the place told, within 1.5 times place × game ÷ seats."""
    games, game_seconds, groups = 10, 3, 50
    server = served.start("socat", terminal, work, games=games, game_seconds=game_seconds, game_memory=128,
                          idle_seconds=60, more_settings={"KESTIV_LINE": "500"})
    scripts = ReconnectingScripts(server.port, [f"127.20.{group}.1" for group in range(groups)], 4, game_seconds)
    try:
        deadline = time.monotonic() + STEP_SECONDS
        while server.log.read_bytes().count(b": waits at ") < groups * 4 - games and time.monotonic() < deadline:
            await asyncio.sleep(0.1)
        asked = time.monotonic()
        reader, writer = await connect(server.port, "127.21.0.1")
        told = place_told(await first_line(reader))
        received = await read_until(reader, PROMPT)
        waited = time.monotonic() - asked
        writer.close()
        bound = 1.5 * (told or 0) * game_seconds / games
        print(f"figure  a person among {groups} script groups of 4 connections ({games} seats, {game_seconds}-second "
              f"games) was told place {told} and played after {waited:.1f} s (bound {bound:.1f} s); the scripts "
              f"played {scripts.games}", flush=True)
        check(told is not None and received.endswith(PROMPT) and waited <= bound,
              f"socat: a person among scripts that keep connections waiting is seated within 1.5 × place × game "
              f"÷ seats (place {told}, {waited:.1f} s, bound {bound:.1f} s)")
    finally:
        # Scripts far back in line would wait minutes for a game: the
        # server's end ends their connections.
        scripts.stop.set()
        served.stop(server)
        await scripts.finish()


async def hold_connections(port, addresses, server_address, at_once=100):
    """Opens a connection from each address, at_once of them at a time (more
    would overflow the listen queue, and their SYNs be sent again seconds
    later); returns each one's reader, writer and first line."""
    async def one(address):
        reader, writer = await connect(port, address, server_address)
        return reader, writer, await first_line(reader)
    held = []
    for start in range(0, len(addresses), at_once):
        held += await asyncio.gather(*(one(address) for address in addresses[start:start + at_once]))
    return held


async def network_case(terminal, work):
    """A /48 used as 200 /64s of 4 connections each: with the defaults its
    network holds 16 games and places; with no limit of the network, it
    fills the line, and a person of another network still gets a place, the
    /48's newest place let go with the reason."""
    addresses = [f"{IPV6_NETWORK[:-1]}{group:x}::1" for group in range(200) for _ in range(4)]
    for what, settings, full in (("the defaults", {"KESTIV_LINE": "500"}, None),
                                 ("no limit of the network and a line of 50",
                                  {"KESTIV_LINE": "50", "KESTIV_GAMES_PER_NETWORK": "10000"}, 50)):
        server = served.start("socat", terminal, work, games=10, game_seconds=600, game_memory=128,
                              idle_seconds=600, more_settings=settings, listen="")
        try:
            started = time.monotonic()
            held = await hold_connections(server.port, addresses, "::1")
            took = time.monotonic() - started
            placed = sum(place_told(line) is not None for _, _, line in held)
            refusals = sorted({line for _, _, line in held if place_told(line) is None and line != b""})
            reader, writer = await connect(server.port, "127.30.0.1")
            told = await first_line(reader)
            print(f"figure  a /48 as 200 /64s of 4 connections, {what}: {placed} of its connections got a place "
                  f"(answered within {took:.1f} s); then a person of another network read {told[:80]!r}", flush=True)
            check(place_told(told) is not None, f"socat, {what}: a /48 used as many /64s cannot take the whole line "
                                                f"from a person of another network (got {told!r})")
            if full is None:
                check(placed == 6 and any(b"with the addresses of one network" in line for line in refusals),
                      f"socat, {what}: the /48 holds 16 games and places, then reads why ({placed} placed, "
                      f"{refusals[:2]})")
            else:
                fate = b": turned away: its place went to a network that had none"
                log = served.wait_for_log(server, [fate])
                check(placed == full and log.count(fate) == 1,
                      f"socat, {what}: the /48 filled the line, and its newest place went to the person, the log "
                      f"saying why ({placed} placed, {log.count(fate)} let go)")
            await close_all([writer] + [w for _, w, _ in held])
        finally:
            served.stop(server)


def room_for_sockets(count):
    """Raises this process's limit of open files, as far as it may, to hold
    count sockets beside its own files."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = count + 256
    if soft != resource.RLIM_INFINITY and soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted if hard == resource.RLIM_INFINITY
                                                    else min(wanted, hard), hard))


async def many_addresses_case(terminal, work):
    """IPv4 addresses each of a connection of its own, 16 in each of 126
    /24s, as a script of many addresses spreads them (every network at its
    limit): they take the 10 seats and fill a line of 2,000, and a person of
    a /24 that holds nothing is still told a place, the newest place of a
    full network let go for them."""
    games, line, networks, per_network = 10, 2000, 126, 16
    addresses = [f"127.40.{network}.{host + 1}" for network in range(networks) for host in range(per_network)]
    room_for_sockets(len(addresses) + 1)
    server = served.start("socat", terminal, work, games=games, game_seconds=600, game_memory=128,
                          idle_seconds=600, more_settings={"KESTIV_LINE": str(line)})
    try:
        keeper_before = served.cpu_seconds_with_reaped(server.process.pid)
        listener_before = served.cpu_seconds_with_reaped(server.listener)
        started = time.monotonic()
        held = await hold_connections(server.port, addresses, "127.0.0.1")
        took = time.monotonic() - started
        placed = sum(place_told(told) is not None for _, _, told in held)
        full = sum(told == LINE_FULL for _, _, told in held)
        check(placed == line and full == len(addresses) - games - line,
              f"socat: {len(addresses)} addresses of {networks} /24s take the seats and fill the line ({placed} "
              f"placed, {full} told the line is full)")
        reader, writer = await connect(server.port, "127.41.0.1")
        told = await first_line(reader)
        keeper = served.cpu_seconds_with_reaped(server.process.pid) - keeper_before
        listener = served.cpu_seconds_with_reaped(server.listener) - listener_before
        connections = served.cpu_seconds_of_live(served.game_processes(server))
        print(f"figure  {len(addresses)} IPv4 addresses, {per_network} in each of {networks} /24s ({games} seats, "
              f"a line of {line}): the line filled within {took:.1f} s; then a person of another /24 read "
              f"{told[:80]!r}; the server's CPU meanwhile {keeper + listener + connections:.1f} s (the keeper "
              f"{keeper:.2f} s, socat and the processes it reaped {listener:.2f} s, the processes of the games and "
              f"players in line {connections:.2f} s)", flush=True)
        fate = b": turned away: its place went to a network that had none"
        log = served.wait_for_log(server, [fate])
        check(place_told(told) is not None and log.count(fate) == 1,
              f"socat: a line filled by many /24s takes a person of a /24 that holds nothing, a full network's "
              f"newest place let go, the log saying why (got {told!r}, {log.count(fate)} let go)")
        await close_all([writer] + [w for _, w, _ in held])
    finally:
        served.stop(server)


async def ipv6_group_case(terminal, work, recipe):
    """Many addresses of one /64 are one group; another /64 is another; with
    KESTIV_IPV6_PREFIX=128 every address is a group of its own."""
    for prefix in (None, "128"):
        settings = {"KESTIV_GAMES_PER_ADDRESS": "2", **({"KESTIV_IPV6_PREFIX": prefix} if prefix else {})}
        server = served.start(recipe, terminal, work, games=10, game_seconds=600, game_memory=128,
                              idle_seconds=60, more_settings=settings, listen="")
        try:
            held = [await held_game(server.port, f"{IPV6_NETWORK}{n + 1:x}", "::1") for n in range(2)]
            reader, writer = await connect(server.port, f"{IPV6_NETWORK}1a", "::1")
            if prefix is None:
                told = await read_to_end(reader, 10)
                check(told == network_full(2, "2001:db8:5::/64"),
                      f"{recipe}: a third player of one IPv6 /64 is turned away, naming the network (got {told!r})")
            else:
                told = await read_until(reader, PROMPT)
                check(told.endswith(PROMPT), f"{recipe}: with KESTIV_IPV6_PREFIX=128, every address of the /64 "
                                             f"is a group of its own")
            other_reader, other_writer = await connect(server.port, "2001:db8:5:1::1", "::1")
            check((await read_until(other_reader, PROMPT)).endswith(PROMPT),
                  f"{recipe}: a player of another /64 plays")
            await close_all([writer, other_writer] + [w for _, w in held])
        finally:
            served.stop(server)


async def burst_case(terminal, work, recipe, burst=500):
    """Two seats held and a burst of connections at once: every one is told
    its place in line, each a different one."""
    server = served.start(recipe, terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_LINE": str(burst)})
    try:
        held = [await held_game(server.port, f"127.0.3.{1 + n}") for n in range(2)]
        started = time.monotonic()

        async def one(number):
            reader, writer = await connect(server.port, f"127.{1 + number // 250}.{number % 250}.1")
            told = await first_line(reader)
            return told, time.monotonic() - started, writer

        answers = await asyncio.gather(*(one(number) for number in range(burst)))
        places = {int(m.group(1)) for told, _, _ in answers
                  if (m := re.match(rb"kestiv's terminal is playing every game it can: you are number (\d+) ",
                                    told))}
        slowest = max(took for _, took, _ in answers)
        others = sorted({told for told, _, _ in answers if not told.startswith(first_place(1)[:60])})
        check(places == set(range(1, burst + 1)), f"{recipe}: each of {burst} players of a burst is told a place "
                                                  f"of its own ({len(places)} places; the last told after "
                                                  f"{slowest:.1f} s; other answers: {others[:3]})")
        await close_all([writer for _, _, writer in answers] + [w for _, w in held])
        left = served.wait_for_no_games(server, 30)
        check(not left, f"{recipe}: the burst left no process ({len(left)} left)")
    finally:
        served.stop(server)


async def state_case(terminal, work):
    """The seats live in no file: a temporary folder that cannot be written
    changes nothing, and nothing of the server's is made there."""
    temporary = Path(work) / "temporary"
    temporary.mkdir()
    for what, folder in (("a temporary folder that cannot be written", Path(work) / "not-a-folder"),
                         ("its temporary folder", temporary)):
        (Path(work) / "not-a-folder").touch()
        server = served.start("socat", terminal, work, games=2, game_seconds=600, game_memory=128,
                              idle_seconds=60, more_settings={"TMPDIR": str(folder)})
        try:
            held = [await held_game(server.port, f"127.0.4.{1 + n}") for n in range(2)]
            reader, writer = await connect(server.port, "127.0.4.9")
            told = await first_line(reader)
            check(told == first_place(1), f"socat: with {what}, two games play and the third player waits "
                                          f"(got {told!r})")
            check(not any(temporary.iterdir()), f"socat: nothing is made in {what}")
            await close_all([writer] + [w for _, w in held])
        finally:
            served.stop(server)


async def killed_case(terminal, work, signal_number):
    """The top process killed outright: within moments nothing listens and a
    new server starts on the port at once; the game in play plays on, the
    player in line is told the server is gone, and nothing is left once the
    game ends."""
    name = signal.Signals(signal_number).name
    server = served.start("socat", terminal, work, games=1, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        reader, writer = await connect(server.port, "127.0.5.1")
        opening = await read_until(reader, PROMPT)
        waiting_reader, waiting_writer = await connect(server.port, "127.0.5.2")
        await first_line(waiting_reader)
        os.kill(server.process.pid, signal_number)
        killed = time.monotonic()
        while served.listening(server.port) and time.monotonic() - killed < 10:
            await asyncio.sleep(0.02)
        gone_after = time.monotonic() - killed
        check(not served.listening(server.port), f"socat, {name}: nothing listens on the port "
                                                 f"{gone_after:.2f} s after the kill")
        told = await read_to_end(waiting_reader, 10)
        check(told == KEEPER_GONE, f"socat, {name}: the player in line is told the server is gone (got {told!r})")
        again = served.start("socat", terminal, work, games=1, game_seconds=600, game_memory=128,
                             idle_seconds=60, port=server.port)
        try:
            new_reader, new_writer = await held_game(again.port, "127.0.5.3")
            check(True, f"socat, {name}: a new server starts on the same port at once and plays")
            new_writer.close()
        finally:
            served.stop(again)
        writer.write(b"dir\n" + EXIT + b"\n")
        received = opening + await read_to_end(reader)
        check(received == reference_output(terminal, b"dir\n" + EXIT + b"\n"),
              f"socat, {name}: the game in play plays on to its end")
        writer.close()
        waiting_writer.close()
        left = served.wait_for_no_games(server, 10)
        check(not left, f"socat, {name}: nothing of the server is left once the game ended "
                        f"(left: {served.describe(left)})")
    finally:
        served.stop(server)


async def unrunnable_case(terminal, work, recipe):
    """The terminal's file turns into one that cannot be run (its mode
    lost), a game in play: the next player is told in one line that no game
    can start. socat's server then stops listening at once, so that a
    balancer sends players to another, lets the game in play end as it
    would, and ends with status 1 saying why; under systemd, whose socket
    the keeper does not own, the keeper plays on once the file is fixed."""
    folder = Path(work) / f"unrunnable-{recipe}"
    folder.mkdir()
    for program in (terminal, terminal.parent / "kestiv-seat"):
        shutil.copy2(program, folder)
    copy = folder / terminal.name
    server = served.start(recipe, copy, work, games=4, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        reader, writer = await connect(server.port, "127.0.12.1")
        opening = await read_until(reader, PROMPT)
        copy.chmod(0o644)
        told_reader, told_writer = await connect(server.port, "127.0.12.2")
        told = await read_to_end(told_reader, STEP_SECONDS)
        told_writer.close()
        check(told == CANNOT_START, f"{recipe}: with a terminal that cannot be run, a player is told no game can "
                                    f"start (got {told[-100:]!r})")
        if recipe == "socat":
            deadline = time.monotonic() + STEP_SECONDS
            while served.listening(server.port) and time.monotonic() < deadline:
                await asyncio.sleep(0.02)
            check(not served.listening(server.port), "socat: the server stops listening at once, its game in play "
                                                     "going on")
        writer.write(b"dir\n" + EXIT + b"\n")
        received = opening + await read_to_end(reader)
        writer.close()
        check(received == reference_output(terminal, b"dir\n" + EXIT + b"\n"),
              f"{recipe}: the game in play plays on to its end")
        if recipe == "socat":
            status = await asyncio.to_thread(server.process.wait, STEP_SECONDS)
            check(status == 1 and b"kestiv-seat: the terminal cannot be run: no more players" in server.log.read_bytes(),
                  f"socat: the server ends with status 1 once its game has, saying why (status {status})")
        else:
            copy.chmod(0o755)
            new_reader, new_writer = await held_game(server.port, "127.0.12.3")
            check(server.keeper.poll() is None, "systemd: the keeper plays on once the terminal is fixed")
            new_writer.close()
    finally:
        served.stop(server)


async def quit_case(terminal, work):
    """SIGQUIT (Ctrl-\\) stops the server gracefully, as SIGTERM does."""
    server = served.start("socat", terminal, work, games=1, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        reader, writer = await held_game(server.port, "127.0.6.1")
        waiting_reader, waiting_writer = await connect(server.port, "127.0.6.2")
        await first_line(waiting_reader)
        os.kill(server.process.pid, signal.SIGQUIT)
        ending = await read_to_end(reader, 10)
        told = await read_to_end(waiting_reader, 10)
        check(ending == SHUTDOWN_ENDING and told == SHUTDOWN_LINE,
              f"socat, SIGQUIT: the game in play and the player in line are told the server is shutting down "
              f"(got {ending[-60:]!r}, {told!r})")
        status = await asyncio.to_thread(server.process.wait, 10)
        check(status == 128 + signal.SIGQUIT, f"socat, SIGQUIT: the server ends on it (status {status})")
        check(not served.listening(server.port) and not served.wait_for_no_games(server, 10),
              "socat, SIGQUIT: nothing is left")
        await close_all([writer, waiting_writer])
    finally:
        served.stop(server)


async def nohup_case(terminal, work):
    """A server started with SIGHUP ignored (nohup) keeps ignoring it: its
    games play on, and it still serves."""
    server = served.start("socat", terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
    try:
        reader, writer = await held_game(server.port, "127.0.7.1")
        os.kill(server.process.pid, signal.SIGHUP)
        writer.write(b"dir\n")
        received = await read_until(reader, PROMPT)
        check(b"The server is shutting down" not in received, "socat under nohup: SIGHUP leaves the game in play")
        other_reader, other_writer = await held_game(server.port, "127.0.7.2")
        check(server.process.poll() is None, "socat under nohup: the server still serves after SIGHUP")
        await close_all([writer, other_writer])
    finally:
        served.stop(server)


async def caps_case(terminal, work, recipe):
    """A game that meets its CPU or memory cap ends with a line that says so."""
    server = served.start(recipe, terminal, work, games=2, game_seconds=600, game_memory=64, idle_seconds=60,
                          more_settings={"KESTIV_GAME_CPU_SECONDS": "1"})
    try:
        reader, writer = await connect(server.port, "127.0.8.1")
        writer.write(b"dir\n" * 400000)
        received = await read_to_end(reader)
        writer.close()
        check(received.endswith(cpu_ending(1)), f"{recipe}: a game at its CPU cap ends with the reason "
                                                f"(ends {received[-90:]!r})")
        reader, writer = await connect(server.port, "127.0.8.2")
        await read_until(reader, PROMPT)
        reading = asyncio.create_task(read_to_end(reader))
        chunk = b"a" * (1 << 20)
        try:
            for _ in range(512):
                writer.write(chunk)
                await asyncio.wait_for(writer.drain(), STEP_SECONDS)
        except (OSError, asyncio.TimeoutError):
            pass
        received = await reading
        writer.close()
        check(received.endswith(memory_ending(64)), f"{recipe}: a game at its memory cap ends with the reason "
                                                    f"(ends {received[-90:]!r})")
        left = served.wait_for_no_games(server, 10)
        check(not left, f"{recipe}: the capped games left no process")
        log = served.wait_for_log(server, [b": ended: CPU cap\n", b": ended: memory cap\n"])
    finally:
        served.stop(server)
    check(b": ended: CPU cap\n" in log and b": ended: memory cap\n" in log,
          f"{recipe}: the log tells the CPU cap and the memory cap apart")


async def descriptors_case(terminal, work, recipe):
    """The terminal holds its standard input, output and error, and nothing else."""
    server = served.start(recipe, terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60)
    try:
        reader, writer = await held_game(server.port, "127.0.9.1")
        terminals = [pid for pid in served.game_processes(server)
                     if Path(f"/proc/{pid}/comm").read_text().strip() == "kestiv-terminal"]
        descriptors = sorted(int(entry) for entry in os.listdir(f"/proc/{terminals[0]}/fd"))
        check(descriptors == [0, 1, 2], f"{recipe}: the terminal holds descriptors 0, 1 and 2 only ({descriptors})")
        writer.close()
    finally:
        served.stop(server)


PROXY_V2 = b"\r\n\r\n\x00\r\nQUIT\n"


def proxy_v2(source, destination="127.0.0.1", kind=None, tlvs=b""):
    """A PROXY protocol version 2 header for TCP from source (the family
    and protocol byte `kind` if given), TLVs after the addresses."""
    family = socket.AF_INET6 if ":" in source else socket.AF_INET
    addresses = socket.inet_pton(family, source) + socket.inet_pton(family, destination if family == socket.AF_INET
                                                                     else "::1")
    body = addresses + struct.pack("!HH", 40000, 4000) + tlvs
    kind = kind if kind is not None else 0x11 if family == socket.AF_INET else 0x21
    return PROXY_V2 + bytes([0x21, kind]) + struct.pack("!H", len(body)) + body


def proxy_v2_local(body=b"", kind=0):
    """A version 2 LOCAL header, as HAProxy's health checks send it: no
    addresses, unless given."""
    return PROXY_V2 + bytes([0x20, kind]) + struct.pack("!H", len(body)) + body


# Headers a listed proxy sends that are still turned away: what no proxy of
# TCP connections sends, or a source no player has.
REFUSED_HEADERS = [
    ("a version 1 source 0.0.0.0", b"PROXY TCP4 0.0.0.0 127.0.0.1 40000 4000\r\n"),
    ("a version 1 source 255.255.255.255", b"PROXY TCP4 255.255.255.255 127.0.0.1 40000 4000\r\n"),
    ("a version 1 multicast source", b"PROXY TCP6 ff02::1 ::1 40000 4000\r\n"),
    ("UNKNOWN run on", b"PROXY UNKNOWNgarbage\r\n"),
    ("version 2 over UDP", proxy_v2("198.51.100.20", kind=0x12)),
    ("version 2 over an unknown protocol", proxy_v2("198.51.100.21", kind=0x13)),
    ("version 2 of the unix family", PROXY_V2 + bytes([0x21, 0x31]) + struct.pack("!H", 216) + b"u" * 216),
    ("version 2 LOCAL with addresses", proxy_v2_local(proxy_v2("198.51.100.22")[16:], kind=0x11)),
    ("version 2 LOCAL with an address body", proxy_v2_local(proxy_v2("198.51.100.23")[16:])),
    ("version 2 with 1 KB of TLVs", proxy_v2("198.51.100.24", tlvs=b"\x04\x04\x00" + b"n" * 1024)),
]
NOT_A_PROXY = b"is no proxy of KESTIV_PROXY_FROM"


async def proxy_case(terminal, work, recipe):
    """Every connection from the proxy (127.0.0.1) begins with a PROXY header,
    whose source is the player's address; a connection without one, or with
    one no proxy of TCP sends, is told and let go. A connection from anyone
    else is let go without a header read: one address claiming 40 others
    plays no game."""
    server = served.start(recipe, terminal, work, games=10, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_PROXY_PROTOCOL": "1", "KESTIV_PROXY_FROM": "10.0.0.0/8,127.0.0.1",
                                         "KESTIV_GAMES_PER_ADDRESS": "1"})
    expected = reference_output(terminal, EXIT + b"\n")
    try:
        for what, header in (("version 1", b"PROXY TCP4 198.51.100.7 127.0.0.1 40000 4000\r\n"),
                             ("version 2", proxy_v2("198.51.100.8")),
                             ("version 2 with TLVs", proxy_v2("198.51.100.9", tlvs=b"\x04\x00\x03abc")),
                             ("version 2 LOCAL", proxy_v2_local())):
            reader, writer = await connect(server.port)
            writer.write(header + EXIT + b"\n")
            received = await read_to_end(reader)
            check(received == expected, f"{recipe}: a {what} header and the player's first line in one packet: "
                                        f"the game gets the line")
        held = []
        for what, header, refusal in (
                ("version 1", b"PROXY TCP4 198.51.100.10 127.0.0.1 40000 4000\r\n", address_full(1)),
                ("version 2 over IPv6", proxy_v2("2001:db8:7::1"), network_full(1, "2001:db8:7::/64"))):
            reader, writer = await connect(server.port)
            writer.write(header)
            await read_until(reader, PROMPT)
            held.append(writer)
            reader, writer = await connect(server.port)
            writer.write(header.replace(b"7::1", b"7::2"))
            told = await read_to_end(reader, 10)
            writer.close()
            check(told == refusal, f"{recipe}: the {what} header's source is the player's group (got {told!r})")
        for what, sent in (("no header", b"dir\n"), ("a broken header", b"PROXY TCP4 1.2.3 4.5.6.7 1 2\r\n"),
                           ("silence", b""), *((what, header + EXIT + b"\n") for what, header in REFUSED_HEADERS)):
            reader, writer = await connect(server.port)
            writer.write(sent)
            told = await read_to_end(reader, 20)
            writer.close()
            check(told == BAD_PROXY, f"{recipe}: a connection with {what} is told and let go (got {told!r})")

        async def claim(number):
            reader, writer = await connect(server.port, "127.0.13.1")
            writer.write(f"PROXY TCP4 198.51.101.{number + 1} 127.0.0.1 40000 4000\r\n".encode() + EXIT + b"\n")
            told = await read_to_end(reader, 20)
            writer.close()
            return told

        told = await asyncio.gather(*(claim(number) for number in range(40)))
        check(told == [BAD_PROXY] * 40, f"{recipe}: a client that is no proxy, sending 40 headers naming 40 "
                                        f"addresses, is told and let go 40 times ({Counter(told)})")
        probe = [str(served.DEPLOY / "container/kestiv-probe"), str(server.port)]
        probed = subprocess.run(probe, env=dict(os.environ, KESTIV_PROXY_PROTOCOL="1"), capture_output=True)
        check(probed.returncode == 0, f"{recipe}: the container's probe, in the server's environment, sends its "
                                      f"own header and passes ({probed.stderr!r})")
        await close_all(held)
        log = served.wait_for_log(server, [b"from 198.51.100.7: game started", b"turned away: no valid PROXY header",
                                           b"its peer 127.0.13.1 " + NOT_A_PROXY])
        deadline = time.monotonic() + STEP_SECONDS
        while log.count(NOT_A_PROXY) < 40 and time.monotonic() < deadline:
            await asyncio.sleep(0.1)
            log = server.log.read_bytes()
    finally:
        served.stop(server)
    check(b"from 198.51.100.7: game started" in log and b"turned away: no valid PROXY header" in log,
          f"{recipe}: the log names the header's source and the connections without one")
    check(log.count(b"turned away: its peer 127.0.13.1 " + NOT_A_PROXY) == 40 and b"198.51.101." not in log,
          f"{recipe}: the log names the peer of each of the 40 connections from no proxy, and none of the "
          f"addresses they claimed ({log.count(NOT_A_PROXY)} logged)")
    refused = len(REFUSED_HEADERS) + 3
    check(log.count(b"turned away: no valid PROXY header") == refused,
          f"{recipe}: the log tells each of the {refused} connections without a valid header "
          f"({log.count(b'turned away: no valid PROXY header')} logged)")


async def proof_of_work_case(terminal, work):
    """With KESTIV_POW_BITS, a player first solves a challenge with the
    command given; a wrong or late answer is told and let go."""
    server = served.start("socat", terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_POW_BITS": "12", "KESTIV_POW_SECONDS": "3"})
    try:
        reader, writer = await connect(server.port)
        challenge = await first_line(reader)
        command = (await first_line(reader)).decode().strip()
        check(challenge.startswith(b"kestiv's terminal asks a small proof of work first: ")
              and b"12 zero bits, within 3 seconds" in challenge and command.startswith("python3 -c "),
              f"socat: a player is given a challenge and the command that solves it ({challenge!r})")
        answer = subprocess.run(command, shell=True, capture_output=True, check=True).stdout.strip()
        writer.write(answer + b"\n" + EXIT + b"\n")
        received = await read_to_end(reader)
        check(received == reference_output(terminal, EXIT + b"\n"),
              "socat: the command's answer lets the player play, the line after it the game's")
        reader, writer = await connect(server.port)
        await first_line(reader)
        await first_line(reader)
        writer.write(b"12345\n")
        told = await read_to_end(reader, 10)
        check(told == b"That answer does not prove the work asked. Connect again for a new challenge.\r\n",
              f"socat: a wrong answer is told and let go (got {told!r})")
        reader, writer = await connect(server.port)
        await first_line(reader)
        await first_line(reader)
        told = await read_to_end(reader, 20)
        check(told == b"No answer came within 3 seconds. Connect again for a new challenge.\r\n",
              f"socat: a late answer is told and let go (got {told!r})")
    finally:
        served.stop(server)


async def waited_case(terminal, work):
    server = served.start("socat", terminal, work, games=1, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_WAIT_SECONDS": "2"})
    try:
        reader, writer = await held_game(server.port, "127.0.10.1")
        waiting_reader, waiting_writer = await connect(server.port, "127.0.10.2")
        told = await read_to_end(waiting_reader, 20)
        check(told == first_place(1) + b"You have waited 2 seconds and no seat has freed. Try again later.\r\n",
              f"socat: a player who waited KESTIV_WAIT_SECONDS is told so and let go (got {told!r})")
        await close_all([writer, waiting_writer])
    finally:
        served.stop(server)


def refused_start(terminal, settings):
    """serve-with-socat with the settings: its status, what it said, and
    whether anything listened."""
    port = served.free_port()
    environment = {name: value for name, value in os.environ.items() if not name.startswith("KESTIV_")}
    started = subprocess.run([str(served.DEPLOY / "serve-with-socat"), f"127.0.0.1:{port}", str(terminal)],
                             env=dict(environment, **settings), capture_output=True, timeout=60)
    return started.returncode, started.stderr.decode(errors="replace"), served.listening(port)


# Settings a server refuses to start with: each would loosen a limit, or be
# read differently by different parts of the server.
BAD_SETTINGS = [
    ("KESTIV_GAME_MEMORY", "9007199254740993"),   # overflows MiB to bytes
    ("KESTIV_GAME_MEMORY", "65537"),              # above its bound
    ("KESTIV_IDLE_SECONDS", "00"),                # zero in disguise
    ("KESTIV_IDLE_SECONDS", "08"),                # not octal, not anything
    ("KESTIV_GAMES", "010"),                      # 8 or 10?
    ("KESTIV_GAMES", "0"),                        # a server nobody can play
    ("KESTIV_GAMES", "10001"),
    ("KESTIV_GAMES_PER_ADDRESS", "-1"),
    ("KESTIV_GAME_SECONDS", "+60"),
    ("KESTIV_GAME_SECONDS", "86401"),
    ("KESTIV_GAME_CPU_SECONDS", "1e3"),
    ("KESTIV_GAME_CPU_SECONDS", " 60"),
    ("KESTIV_LINE", "10001"),
    ("KESTIV_WAIT_SECONDS", "0"),
    ("KESTIV_IPV6_PREFIX", "31"),
    ("KESTIV_IPV6_PREFIX", "129"),
    ("KESTIV_GAMES_PER_NETWORK", "0"),
    ("KESTIV_IPV4_NETWORK_PREFIX", "7"),
    ("KESTIV_IPV6_NETWORK_PREFIX", "129"),
    ("KESTIV_CONNECTIONS_PER_MINUTE", "0"),
    ("KESTIV_PROXY_PROTOCOL", "2"),
    ("KESTIV_PROXY_FROM", "10.0.0.1/8"),          # a network or a host?
    ("KESTIV_PROXY_FROM", "proxy.example.org"),   # names are not looked up
    ("KESTIV_PROXY_FROM", "10.0.0.0/8,"),
    ("KESTIV_POW_BITS", "27"),
    ("KESTIV_POW_SECONDS", "0"),
    ("KESTIV_WEBSOCKET", "70000"),
    ("KESTIV_WEBSOCKET", "localhost:8080"),
    ("KESTIV_METRICS", "localhost:9100"),
    ("KESTIV_METRICS", "0"),
]


def settings_cases(terminal):
    for name, value in BAD_SETTINGS:
        status, said, listened = refused_start(terminal, {name: value, "KESTIV_WEBSOCKET_ORIGIN": "example.org"})
        check(status == 2 and name in said and not listened,
              f"{name}={value!r} stops the server before it listens, naming the setting (status {status}, "
              f"said {said.strip()[:100]!r})")
    status, said, _ = refused_start(terminal, {"KESTIV_GAMES": "0", "KESTIV_LINE": "x", "KESTIV_POW_BITS": "99"})
    check(status == 2 and all(name in said for name in ("KESTIV_GAMES", "KESTIV_LINE", "KESTIV_POW_BITS")),
          f"every bad setting is reported at once ({said.strip()!r})")
    status, said, _ = refused_start(terminal, {"KESTIV_WEBSOCKET": "8080"})
    check(status == 2 and "KESTIV_WEBSOCKET_ORIGIN" in said, "a bridge without its site's origin stops the server")
    status, said, listened = refused_start(terminal, {"KESTIV_PROXY_PROTOCOL": "1"})
    check(status == 2 and "KESTIV_PROXY_FROM must name the proxies" in said and not listened,
          f"PROXY headers read from no proxy named stops the server, saying why ({said.strip()[:120]!r})")
    seat = Path(terminal).parent / "kestiv-seat"
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)
        checked = subprocess.run([str(seat), "--settings"], capture_output=True, text=True,
                                 env=dict(os.environ, KESTIV_SEATS=folder, KESTIV_GAMES="0", KESTIV_GAMEZ="1"))
        check(checked.returncode == 1 and "KESTIV_SEATS" in checked.stderr and "KESTIV_GAMES must" in checked.stderr
              and "did you mean KESTIV_GAMES?" in checked.stderr,
              f"kestiv-seat --settings checks KESTIV_SEATS, reports every bad value and warns of unknown names "
              f"({checked.stderr.strip()!r})")


async def bridge_case(terminal, work):
    """KESTIV_WEBSOCKET starts websocketd beside socat: a page of the site's
    origin plays the same game, counted by its own address, and reads the end
    mark last when the server ends the connection; any other origin is
    refused; idleness is told without TCP; the bridge ends with the server.
    The server reads PROXY headers on its TCP port, from a proxy elsewhere:
    a page's bytes hold none, and its player is still counted by their own
    address."""
    bridge_port = served.free_port()
    server = served.start("socat", terminal, work, games=4, game_seconds=600, game_memory=128, idle_seconds=2,
                          more_settings={"KESTIV_WEBSOCKET": f"127.0.0.1:{bridge_port}",
                                         "KESTIV_WEBSOCKET_ORIGIN": "game.example.org",
                                         "KESTIV_PROXY_PROTOCOL": "1", "KESTIV_PROXY_FROM": "192.0.2.1",
                                         "KESTIV_GAMES_PER_ADDRESS": "1"})
    origin = "https://game.example.org"
    try:
        announced = server.log.read_text().splitlines()[0]
        check(f"WebSocket bridge on 127.0.0.1 port {bridge_port}" in announced,
              f"the line the server prints names the bridge ({announced[:160]!r})")
        await websocket_client.check_site_alone(lambda: connect(bridge_port, "127.0.11.1"), "127.0.0.1",
                                                bridge_port, origin, terminal, "socat's bridge")
        reader, writer = await websocket_client.open_game("127.0.0.1", bridge_port, origin, "127.0.11.2")
        opening = await websocket_client.receive_until(reader, lambda got: got.endswith(PROMPT))
        other_reader, other_writer = await websocket_client.open_game("127.0.0.1", bridge_port, origin,
                                                                      "127.0.11.2")
        told = await websocket_client.receive_until(other_reader, lambda _: False, 10)
        other_writer.close()
        check(told == address_full(1) + BRIDGE_END, f"a page's player is counted by their own address (got {told!r})")
        rest = await websocket_client.receive_until(reader, lambda _: False, 20)
        writer.close()
        check(opening + rest == opening_output(terminal) + idle_ending(2) + BRIDGE_END,
              f"a silent player of the bridge is cut at the idle limit with the reason (ends {rest[-60:]!r})")
    finally:
        served.stop(server)
    check(not served.listening(server.port) and not served.listening(bridge_port),
          "the bridge ends with the server")


async def served_cases(terminal, work, namespaced):
    for recipe in served.RECIPES:
        await line_case(terminal, work, recipe)
        await fairness_case(terminal, work, recipe)
        if namespaced:
            await ipv6_group_case(terminal, work, recipe)
        await burst_case(terminal, work, recipe)
        await caps_case(terminal, work, recipe)
        await descriptors_case(terminal, work, recipe)
        await proxy_case(terminal, work, recipe)
        await unrunnable_case(terminal, work, recipe)
    if not namespaced:
        print("skipped IPv6 groups: not root, so no network namespace with a local /64", flush=True)
    await state_case(terminal, work)
    for signal_number in (signal.SIGKILL, signal.SIGUSR1):
        await killed_case(terminal, work, signal_number)
    await quit_case(terminal, work)
    await nohup_case(terminal, work)
    await proof_of_work_case(terminal, work)
    await waited_case(terminal, work)
    await scripts_against_person_case(terminal, work)
    if namespaced:
        await network_case(terminal, work)
        await many_addresses_case(terminal, work)
    await bridge_case(terminal, work)


def own_network():
    """Runs this test again in a network namespace of its own, where the
    whole of 2001:db8:5::/48 is local; returns its exit status."""
    return subprocess.run(["unshare", "--net", "--", sys.executable, __file__, NAMESPACED, *sys.argv[1:]]).returncode


def set_up_network():
    for command in (["ip", "link", "set", "lo", "up"], ["ip", "-6", "route", "add", "local", "2001:db8:5::/48",
                                                        "dev", "lo"],
                    ["sysctl", "-qw", "net.ipv6.ip_nonlocal_bind=1"]):
        subprocess.run(command, check=True)


def main(terminal, namespaced):
    if namespaced:
        set_up_network()
    settings_cases(terminal)
    with tempfile.TemporaryDirectory() as work:
        asyncio.run(served_cases(terminal, work, namespaced))


if __name__ == "__main__":
    arguments = sys.argv[1:]
    namespaced = arguments[:1] == [NAMESPACED]
    if namespaced:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit(__doc__)
    if not namespaced and os.geteuid() == 0:
        sys.exit(own_network())
    socket.setdefaulttimeout(60)
    main(Path(arguments[0]).resolve(), namespaced)
    finish()
