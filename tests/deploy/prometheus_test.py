#!/usr/bin/env python3
"""A real Prometheus scrapes a running server's KESTIV_METRICS every second:
the games in play it records are the games the test holds, as they change.

usage: prometheus_test.py TERMINAL
"""
import asyncio
import json
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request
from pathlib import Path

import served
from checks import check, finish
from players import EXIT, STEP_SECONDS, connect, read_to_end, read_until
from sessions import PROMPT

# Prometheus starts, scrapes and answers within this on a busy machine.
PROMETHEUS_SECONDS = 120


def start_prometheus(folder, metrics_port):
    """Prometheus on 127.0.0.1 scraping the server every second; its port."""
    port = served.free_port()
    config = Path(folder) / "prometheus.yml"
    config.write_text("global:\n"
                      "  scrape_interval: 1s\n"
                      "scrape_configs:\n"
                      "  - job_name: kestiv\n"
                      "    static_configs:\n"
                      f"      - targets: ['127.0.0.1:{metrics_port}']\n")
    with open(Path(folder) / "prometheus.log", "wb") as log:
        process = subprocess.Popen(["prometheus", f"--config.file={config}",
                                    f"--storage.tsdb.path={Path(folder) / 'data'}",
                                    f"--web.listen-address=127.0.0.1:{port}"],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    return process, port


def recorded(port, query):
    """The value Prometheus gives the query now, or None."""
    address = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": query})
    try:
        with urllib.request.urlopen(address, timeout=STEP_SECONDS) as answer:
            result = json.load(answer)["data"]["result"]
    except OSError:
        return None
    return float(result[0]["value"][1]) if result else None


def await_recorded(port, query, wanted, process):
    """The value Prometheus gives the query once it is `wanted`, or the last
    one when the time is up or Prometheus has ended."""
    deadline = time.monotonic() + PROMETHEUS_SECONDS
    while (value := recorded(port, query)) != wanted and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.2)
    return value


async def held_game(port, address):
    reader, writer = await connect(port, address)
    await read_until(reader, PROMPT)
    return reader, writer


async def scraped_case(terminal, folder):
    metrics_port = served.free_port()
    server = served.start("socat", terminal, folder, games=2, game_seconds=600, game_memory=128, idle_seconds=60,
                          more_settings={"KESTIV_METRICS": f"127.0.0.1:{metrics_port}"})
    prometheus, port = start_prometheus(folder, metrics_port)
    try:
        held = [await held_game(server.port, f"127.0.14.{1 + n}") for n in range(2)]
        value = await_recorded(port, "kestiv_games_in_play", 2, prometheus)
        check(value == 2, f"Prometheus records the 2 games held (got {value})")
        value = await_recorded(port, 'kestiv_setting{name="KESTIV_GAMES"}', 2, prometheus)
        check(value == 2, f"Prometheus records the settings (got {value})")
        held[0][1].write(EXIT + b"\n")
        await read_to_end(held[0][0])
        value = await_recorded(port, "kestiv_games_in_play", 1, prometheus)
        check(value == 1, f"Prometheus records the game that ended (got {value})")
        value = await_recorded(port, 'kestiv_game_endings_total{reason="left_or_crashed"}', 1, prometheus)
        check(value == 1, f"Prometheus records how it ended (got {value})")
        held[1][1].close()
    finally:
        prometheus.terminate()
        try:
            prometheus.wait(STEP_SECONDS)
        except subprocess.TimeoutExpired:
            prometheus.kill()
            prometheus.wait()
        served.stop(server)
    if value is None:
        print((Path(folder) / "prometheus.log").read_text()[-2000:])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    socket.setdefaulttimeout(STEP_SECONDS)
    with tempfile.TemporaryDirectory() as work:
        asyncio.run(scraped_case(Path(sys.argv[1]).resolve(), work))
    finish()
