#!/usr/bin/env python3
"""A host's live view, by both recipes of deploy/: with KESTIV_METRICS the
server serves Prometheus's text format on /metrics, whose numbers are the
players the test holds (games in play, waiting, turned away, the busiest
groups), which promtool takes, and which `kestiv-seat --status` tells a
person; other paths and methods are refused; scrapers that never finish
their request are cut off without holding up a player; --status says so
when no server answers.

usage: metrics_test.py TERMINAL
"""
import asyncio
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import served
from checks import check, finish
from players import EXIT, LINE_FULL, STEP_SECONDS, connect, first_place, read_to_end, read_until
from sessions import PROMPT

# How long the server may take to cut off a scraper that never finishes its
# request: its limit is a few seconds.
CUT_OFF_SECONDS = 10


def fetch(port, request=b"GET /metrics HTTP/1.1\r\nHost: test\r\n\r\n"):
    """The server's whole answer to one request."""
    with socket.create_connection(("127.0.0.1", port), timeout=STEP_SECONDS) as scraper:
        scraper.sendall(request)
        answer = b""
        while chunk := scraper.recv(65536):
            answer += chunk
    return answer


def samples(port):
    """The samples of /metrics, "name{labels}" to value, and the text."""
    answer = fetch(port)
    head, _, body = answer.partition(b"\r\n\r\n")
    check(head.startswith(b"HTTP/1.1 200 OK\r\n")
          and b"\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n" in head
          and f"\r\nContent-Length: {len(body)}\r\n".encode() in head,
          f"/metrics answers 200 with the text format's type and its length ({head[:200]!r})")
    text = body.decode()
    found = {}
    for line in text.splitlines():
        if line and not line.startswith("#"):
            series, value = line.rsplit(" ", 1)
            found[series] = float(value)
    return found, text


def status(metrics_port):
    seat = Path(sys.argv[1]).parent / "kestiv-seat"
    return subprocess.run([str(seat), "--status"], env={"KESTIV_METRICS": f"127.0.0.1:{metrics_port}"},
                          capture_output=True, text=True, timeout=STEP_SECONDS)


def expected_status(waiting, at_once, after_waiting, groups):
    listed = "".join(f"  {group}: {games} in play, {waits} waiting\n" for group, games, waits in groups)
    return (f"games in play: 2 of 2 seats\n"
            f"waiting: {waiting} in a line of 1\n"
            f"proving their work: 0\n"
            f"played so far: {at_once} at once, {after_waiting} after waiting; 0 left the line\n"
            f"turned away so far:\n"
            f"  0 their address group was full\n"
            f"  1 the line was full\n"
            f"  0 a wrong proof of work\n"
            f"  0 no proof of work in time\n"
            f"  0 waited too long\n"
            f"  0 a bad PROXY header\n"
            f"  0 the terminal could not be run\n"
            f"  0 the server shut down\n"
            f"  0 their network was full\n"
            f"  0 their place went to a network that had none\n"
            f"  0 too many players were proving their work\n"
            f"  0 they connected too often\n"
            f"busiest address groups:\n{listed}")


async def held_game(port, address):
    reader, writer = await connect(port, address)
    await read_until(reader, PROMPT)
    return reader, writer


async def numbers_case(terminal, work, recipe):
    """Two games in play from one address, one player waiting from another,
    one turned away for a full line: the numbers say so, then say the game
    that ended and the wait that ended with it."""
    metrics_port = served.free_port()
    server = served.start(recipe, terminal, work, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_GAMES_PER_ADDRESS": "4", "KESTIV_LINE": "1",
                                         "KESTIV_METRICS": f"127.0.0.1:{metrics_port}"})
    try:
        held = [await held_game(server.port, "127.0.12.1") for _ in range(2)]
        waiting_reader, waiting_writer = await connect(server.port, "127.0.12.2")
        told = await read_until(waiting_reader, b"\r\n")
        check(told == first_place(1), f"{recipe}: the third player waits (got {told!r})")
        reader, writer = await connect(server.port, "127.0.12.3")
        told = await read_to_end(reader)
        writer.close()
        check(told == LINE_FULL, f"{recipe}: the fourth is turned away, the line full (got {told!r})")

        found, text = samples(metrics_port)
        wanted = {"kestiv_games_in_play": 2, "kestiv_players_waiting": 1, "kestiv_players_proving": 0,
                  'kestiv_group_games{group="127.0.12.1"}': 2, 'kestiv_group_waiting{group="127.0.12.1"}': 0,
                  'kestiv_group_games{group="127.0.12.2"}': 0, 'kestiv_group_waiting{group="127.0.12.2"}': 1,
                  'kestiv_connections_total{fate="played"}': 2,
                  'kestiv_connections_total{fate="waited_then_played"}': 0,
                  'kestiv_connections_total{fate="turned_away",reason="line_full"}': 1,
                  'kestiv_connections_total{fate="turned_away",reason="group_full"}': 0,
                  "kestiv_game_seconds_count": 0, 'kestiv_setting{name="KESTIV_GAMES"}': 2,
                  'kestiv_setting{name="KESTIV_GAMES_PER_ADDRESS"}': 4, 'kestiv_setting{name="KESTIV_LINE"}': 1}
        wrong = {name: (value, found.get(name)) for name, value in wanted.items() if found.get(name) != value}
        check(not wrong, f"{recipe}: the metrics count the players held (wanted, got: {wrong})")
        checked = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True, text=True,
                                 timeout=STEP_SECONDS)
        check(checked.returncode == 0, f"{recipe}: promtool takes the metrics ({checked.stdout}{checked.stderr})")
        told = status(metrics_port)
        check(told.returncode == 0 and told.stdout == expected_status(1, 2, 0, [("127.0.12.1", 2, 0),
                                                                                 ("127.0.12.2", 0, 1)]),
              f"{recipe}: --status tells the numbers (status {told.returncode}, said {told.stdout!r} "
              f"{told.stderr!r})")

        held[0][1].write(EXIT + b"\n")
        await read_to_end(held[0][0])
        await read_until(waiting_reader, PROMPT)
        found, _ = samples(metrics_port)
        wanted = {"kestiv_games_in_play": 2, "kestiv_players_waiting": 0,
                  'kestiv_connections_total{fate="waited_then_played"}': 1,
                  'kestiv_game_endings_total{reason="left_or_crashed"}': 1,
                  "kestiv_game_seconds_count": 1, 'kestiv_game_seconds_bucket{le="+Inf"}': 1,
                  "kestiv_wait_seconds_count": 1}
        wrong = {name: (value, found.get(name)) for name, value in wanted.items() if found.get(name) != value}
        check(not wrong, f"{recipe}: a game's end and the wait it ended are counted (wanted, got: {wrong})")
        told = status(metrics_port)
        check(told.stdout == expected_status(0, 2, 1, [("127.0.12.1", 1, 0), ("127.0.12.2", 1, 0)]),
              f"{recipe}: --status tells the new numbers (said {told.stdout!r})")
        for _, held_writer in held[1:] + [(waiting_reader, waiting_writer)]:
            held_writer.close()
    finally:
        served.stop(server)
    told = status(metrics_port)
    check(told.returncode == 1 and told.stdout == "" and told.stderr ==
          f"kestiv-seat: no server answers with its metrics at 127.0.0.1:{metrics_port} (KESTIV_METRICS): "
          f"Connection refused\n", f"{recipe}: --status says when no server answers ({told.stderr!r})")


def refused_requests_case(metrics_port):
    for request, status_line in ((b"GET /other HTTP/1.1\r\n\r\n", b"HTTP/1.1 404 Not Found\r\n"),
                                 (b"GET / HTTP/1.0\r\n\r\n", b"HTTP/1.1 404 Not Found\r\n"),
                                 (b"POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
                                  b"HTTP/1.1 405 Method Not Allowed\r\n"),
                                 (b"GET /metrics?x=1 HTTP/1.1\r\n\r\n", b"HTTP/1.1 200 OK\r\n")):
        answer = fetch(metrics_port, request)
        check(answer.startswith(status_line), f"{request.splitlines()[0]!r} is answered {status_line!r} "
                                              f"(got {answer[:60]!r})")
    try:
        answer = fetch(metrics_port, b"GET /metrics HTTP/1.1\r\nX-Padding: " + b"x" * 8192 + b"\r\n\r\n")
    except (ConnectionResetError, BrokenPipeError):
        answer = b""
    check(answer == b"", f"a request beyond its bound is closed unanswered (got {answer[:60]!r})")


async def slow_scrapers_case(terminal, work):
    """Scrapers that connect and never finish a request, more than the
    server holds at once: each is cut off within moments, a player is
    answered meanwhile, and a scrape after them is answered."""
    metrics_port = served.free_port()
    server = served.start("socat", terminal, work, games=1, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_METRICS": f"127.0.0.1:{metrics_port}"})
    try:
        refused_requests_case(metrics_port)
        scrapers = [socket.create_connection(("127.0.0.1", metrics_port), timeout=CUT_OFF_SECONDS)
                    for _ in range(20)]
        for number, scraper in enumerate(scrapers):
            scraper.sendall(b"GET /metrics HTTP/1.1\r\n" if number % 2 else b"G")
        started = time.monotonic()
        reader, writer = await held_game(server.port, "127.0.13.1")
        check(True, "a player plays while scrapers hold their connections")
        cut = 0
        for scraper in scrapers:
            try:
                cut += scraper.recv(1) == b""
            except ConnectionResetError:
                cut += 1
            except socket.timeout:
                pass
            scraper.close()
        took = time.monotonic() - started
        check(cut == len(scrapers), f"every unfinished scrape is cut off ({cut} of {len(scrapers)}, "
                                    f"the last after {took:.1f} s)")
        found, _ = samples(metrics_port)
        check(found.get("kestiv_games_in_play") == 1, "a scrape after them is answered")
        writer.close()
    finally:
        served.stop(server)


async def cases(terminal, work):
    for recipe in served.RECIPES:
        await numbers_case(terminal, work, recipe)
    await slow_scrapers_case(terminal, work)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    socket.setdefaulttimeout(STEP_SECONDS)
    with tempfile.TemporaryDirectory() as folder:
        asyncio.run(cases(Path(sys.argv[1]).resolve(), folder))
    finish()
