#!/usr/bin/env python3
"""The systemd units under a real systemd: a Debian root made with mmdebstrap
boots in systemd-nspawn with systemd as its first process, the units and the
game installed by the commands docs/hosting.md gives, and players on
127.0.0.1 and ::1 play through the socket: a walk to the flag, the
per-address limit, the line and its end, the idle cut and the time limit,
each with its message. A page's player plays through the browser bridge's
unit, counted by their own address by the same keeper; a page of another
site is refused; stopping the bridge ends its game with the message. The
container shares the machine's network; the socket and the bridge listen on
loopback only, on ports free when the test starts. Needs root.

usage: systemd_test.py BUILD_DIR [ROOT]
  ROOT: a Debian root with systemd and socat to install into (made with
  mmdebstrap in a temporary folder when not given; about two minutes)
"""
import asyncio
import os
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import served
import websocket_client
from checks import check, finish
from load_test import build_settings
from players import (BRIDGE_END, EXIT, LINE_FULL, SHUTDOWN_ENDING, address_full, connect, first_place, idle_ending,
                     loopback_address, read_to_end, read_until)
from sessions import NC_LINE_END, PROMPT, as_typed, opening_output, reference_output, walk_to_goal

GAMES = 6
PER_ADDRESS = 2
IDLE_SECONDS = 3
GAME_SECONDS = 15
LINE = 1
BOOT_SECONDS = 90
PACKAGES = "systemd,systemd-sysv,dbus,socat,websocketd"
ORIGIN = "game.example.org"      # the site whose pages may play through the bridge
PAGE_ADDRESS = "127.0.13.1"      # a page's player


def make_root(folder):
    subprocess.run(["mmdebstrap", "--variant=minbase", f"--include={PACKAGES}", "bookworm", str(folder)],
                   check=True, stdout=subprocess.DEVNULL)


def install(root, build, port, bridge_port):
    """The guide's commands, into the root, and drop-ins as an admin writes
    them: the ports, on loopback only, the bridge's site, and short limits
    for the test."""
    library = root / "usr/local/lib/kestiv-terminal"
    units = root / "etc/systemd/system"
    deploy = served.DEPLOY
    subprocess.run(["install", "-D", "-m", "0755", build / "kestiv-terminal", build / "kestiv-seat",
                    deploy / "kestiv-game", "-t", library], check=True)
    subprocess.run(["install", "-D", "-m", "0644", deploy / "kestiv-terminal.socket",
                    deploy / "kestiv-terminal@.service", deploy / "kestiv-terminal-keeper.service",
                    deploy / "kestiv-terminal-websocket.service", deploy / "kestiv-terminal.slice", "-t", units],
                   check=True)
    (units / "kestiv-terminal.socket.d").mkdir(exist_ok=True)
    (units / "kestiv-terminal.socket.d/test.conf").write_text(
        f"[Socket]\nListenStream=\nListenStream=127.0.0.1:{port}\nListenStream=[::1]:{port}\n")
    (units / "kestiv-terminal-keeper.service.d").mkdir(exist_ok=True)
    (units / "kestiv-terminal-keeper.service.d/test.conf").write_text(
        f"[Service]\nEnvironment=KESTIV_GAMES={GAMES} KESTIV_GAMES_PER_ADDRESS={PER_ADDRESS} "
        f"KESTIV_IDLE_SECONDS={IDLE_SECONDS} KESTIV_GAME_SECONDS={GAME_SECONDS} KESTIV_LINE={LINE}\n")
    (units / "kestiv-terminal-websocket.service.d").mkdir(exist_ok=True)
    (units / "kestiv-terminal-websocket.service.d/test.conf").write_text(
        f"[Service]\nEnvironment=KESTIV_WEBSOCKET_ORIGIN={ORIGIN}\nExecStart=\n"
        f"ExecStart={served.INSTALLED}kestiv-seat --bridge 127.0.0.1:{bridge_port} {served.INSTALLED}kestiv-terminal\n"
        f"SocketBindAllow=tcp:{bridge_port}\n")
    for target, unit in (("sockets.target.wants", "kestiv-terminal.socket"),
                         ("multi-user.target.wants", "kestiv-terminal-websocket.service")):
        wants = units / target
        wants.mkdir(exist_ok=True)
        link = wants / unit
        if not link.is_symlink():
            link.symlink_to(f"/etc/systemd/system/{unit}")


def boot(root, log):
    return subprocess.Popen(["systemd-nspawn", "--quiet", "--boot", "--register=no", "--keep-unit",
                             f"--machine=kestiv-test-{os.getpid()}", f"--directory={root}"],
                            stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)


def shut_down(container):
    container.send_signal(signal.SIGTERM)  # the container's systemd powers off
    try:
        container.wait(60)
    except subprocess.TimeoutExpired:
        os.killpg(container.pid, signal.SIGKILL)
        container.wait()


def in_container(container, *command):
    """Runs a command inside the container, in all its namespaces."""
    init = subprocess.run(["pgrep", "-P", str(container.pid)], capture_output=True, text=True).stdout.split()[0]
    return subprocess.run(["nsenter", "-t", init, "-a", *command], capture_output=True, text=True).stdout


async def walk_case(port, terminal, goal, flag):
    typed = as_typed(walk_to_goal(goal, 0) + [EXIT], NC_LINE_END)
    reader, writer = await connect(port)
    writer.write(typed)
    received = await read_to_end(reader)
    writer.close()
    check(flag.encode() in received and received == reference_output(terminal, typed),
          "a player walks to the flag and receives exactly the game's output")


async def limits_case(port, terminal):
    held = []
    for player in range(GAMES):
        reader, writer = await connect(port, loopback_address(player, PER_ADDRESS))
        await read_until(reader, PROMPT)
        held.append(writer)
    reader, writer = await connect(port, loopback_address(0, PER_ADDRESS))
    refused = await read_to_end(reader, 10)
    writer.close()
    check(refused == address_full(PER_ADDRESS), f"a game beyond {PER_ADDRESS} from one address is refused "
                                                f"with the reason (got {refused[:80]!r})")
    reader, writer = await connect(port, loopback_address(GAMES, PER_ADDRESS))
    told = await read_until(reader, b"\r\n")
    check(told == first_place(1), f"a player beyond the {GAMES} games at once waits first in line (got {told!r})")
    refused_reader, refused_writer = await connect(port, loopback_address(GAMES + PER_ADDRESS, PER_ADDRESS))
    refused = await read_to_end(refused_reader, 10)
    refused_writer.close()
    check(refused == LINE_FULL, f"beyond the line of {LINE}, a player is told it is full (got {refused[:80]!r})")
    held[0].close()
    check((await read_until(reader, PROMPT)).endswith(PROMPT), "a freed seat starts the waiting player's game")
    held.append(writer)
    for writer in held:
        writer.close()
        await writer.wait_closed()

    reader, writer = await connect(port, "::1", "::1")
    received = await read_to_end(reader, IDLE_SECONDS + 20)
    writer.close()
    check(received == opening_output(terminal) + idle_ending(IDLE_SECONDS),
          f"a silent player over IPv6 is cut after {IDLE_SECONDS} s with the reason (ends {received[-60:]!r})")


async def time_up_case(port):
    reader, writer = await connect(port)
    await read_until(reader, PROMPT)

    async def keep_playing():
        while True:
            writer.write(b"dir\n")
            await asyncio.sleep(1)

    playing = asyncio.ensure_future(keep_playing())
    try:
        received = await read_to_end(reader, GAME_SECONDS + 20)
    finally:
        playing.cancel()
    writer.close()
    ending = f"\x1b[0m\r\n\r\nTime is up: a game lasts at most {GAME_SECONDS} seconds.\r\n".encode()
    check(received.endswith(ending), f"a game past its time ends with the message (ends {received[-60:]!r})")


async def bridge_case(container, bridge_port, terminal):
    """A page of the site plays through the bridge's unit, under the same
    keeper, counted by its own address; another site's page is refused;
    stopping the bridge ends a game in play with the message."""
    origin = f"https://{ORIGIN}"
    await websocket_client.check_site_alone(lambda: connect(bridge_port, PAGE_ADDRESS), "127.0.0.1", bridge_port,
                                            origin, terminal, "the bridge's unit")
    journal = in_container(container, "journalctl", "--no-pager", "-b", "-u", "kestiv-terminal-keeper.service")
    check(f"from {PAGE_ADDRESS}: game started" in journal,
          f"the keeper seats the page's player under their own address ({PAGE_ADDRESS})")
    reader, writer = await websocket_client.open_game("127.0.0.1", bridge_port, origin, PAGE_ADDRESS)
    await websocket_client.receive_until(reader, lambda got: got.endswith(PROMPT))
    stopping = asyncio.create_task(asyncio.to_thread(in_container, container, "systemctl", "stop",
                                                     "kestiv-terminal-websocket.service"))
    ending = await websocket_client.receive_until(reader, lambda _: False)
    await stopping
    writer.close()
    check(ending == SHUTDOWN_ENDING + BRIDGE_END, f"stopping the bridge ends its game in play with the message "
                                     f"(ends {ending[-60:]!r})")
    state = in_container(container, "systemctl", "is-active", "kestiv-terminal-websocket.service").strip()
    check(state == "inactive" and not served.listening(bridge_port),
          f"the bridge's unit stops cleanly, and nothing listens on its port ({state})")


def units_case(container):
    shown = in_container(container, "systemctl", "show", "kestiv-terminal.slice", "-p", "MemoryMax,TasksMax,MemoryCurrent")
    slice_unit = (served.DEPLOY / "kestiv-terminal.slice").read_text()
    memory = next(line.split("=")[1] for line in slice_unit.splitlines() if line.startswith("MemoryMax="))
    tasks = next(line for line in slice_unit.splitlines() if line.startswith("TasksMax="))
    check(tasks in shown and f"MemoryMax={int(memory[:-1]) << 30}" in shown,
          f"the slice carries its totals ({' '.join(shown.split())})")
    if "MemoryCurrent=[not set]" in shown:
        print("skipped the slice's memory cap is not enforced in this container: systemd got no cgroup "
              "controllers from the host (MemoryCurrent=[not set])", flush=True)
    failed = in_container(container, "systemctl", "--failed", "--no-legend", "kestiv-terminal*")
    check(not failed.strip(), f"no game unit failed ({failed.strip()})")
    journal = in_container(container, "journalctl", "--no-pager", "-b", "-u", "kestiv-terminal@*")
    check("kestiv-seat:" not in journal, "the games logged no reason for not starting")
    journal = in_container(container, "journalctl", "--no-pager", "-b", "-u", "kestiv-terminal-keeper.service")
    check(": game started" in journal and ": waits at 1" in journal and ": ended: idle" in journal,
          "the keeper logs each connection's fate to the journal")
    in_container(container, "systemctl", "stop", "kestiv-terminal-keeper.service")
    state = in_container(container, "systemctl", "is-active", "kestiv-terminal-keeper.service").strip()
    check(state == "inactive", f"the keeper's unit stops cleanly ({state})")


async def play(container, port, bridge_port, terminal, goal, flag):
    await walk_case(port, terminal, goal, flag)
    await limits_case(port, terminal)
    await time_up_case(port)
    await bridge_case(container, bridge_port, terminal)


def main(build, given_root):
    terminal, goal, flag = build_settings(build)
    with tempfile.TemporaryDirectory() as work:
        root = Path(given_root) if given_root else Path(work) / "root"
        if not given_root:
            make_root(root)
        port = served.free_port()
        bridge_port = served.free_port()
        install(root, build, port, bridge_port)
        with open(Path(work) / "container.log", "wb") as log:
            container = boot(root, log)
            try:
                deadline = time.monotonic() + BOOT_SECONDS
                while not (served.listening(port) and served.listening(bridge_port)) and \
                        container.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.2)
                booted = served.listening(port) and served.listening(bridge_port)
                check(booted, f"the container booted, its socket listens on port {port} and its bridge on "
                              f"{bridge_port}")
                if booted:
                    asyncio.run(play(container, port, bridge_port, terminal, goal, flag))
                    units_case(container)
            finally:
                shut_down(container)
        if not booted:
            print((Path(work) / "container.log").read_text(errors="replace")[-3000:])


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(Path(sys.argv[1]).resolve(), sys.argv[2] if len(sys.argv) == 3 else None)
    finish()
