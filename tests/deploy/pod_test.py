#!/usr/bin/env python3
"""The container image run as Kubernetes runs it, with podman kube play on
this machine: the manifests of deploy/kubernetes rendered by kubectl
kustomize, the image loaded from its OCI archive, one pod published on
127.0.0.1 only. Through that port:

- the pod runs as the non-root user, read-only, with no capability, seen
  from outside; the image is at most the terminal + 18 MiB;
- the probes of the manifests pass; a player walks to the flag;
- a hundred players at once, each from an address of its own (127.0.0.2,
  127.0.0.3, ...), walk to the flag and each receives exactly its own game's
  output; one more waits in line; the full pod is alive but not ready;
- a fifth game from one address is turned away with its one line;
- SIGTERM to the pod ends every game at once with its message and leaves no
  process;
- a pod with short limits cuts a silent player with its message, ends a long game with its
  message, stops a flooded line at the memory cap and turns away a player
  beyond its games;
- the probes fail on a pod whose terminal cannot start;
- with the browser bridge's component, a page of the site plays through
  the pod's port 1338, and a page of another site is refused.

Prints games per second per pod, CPU and memory per game inside the pod.
podman runs in a storage of its own, with the project's containers.conf.

usage: pod_test.py BUILD_DIR   (a build of the release-container preset)
"""
import asyncio
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import container_record
import served
import websocket_client
from checks import check, finish
from load_test import Muster, build_settings, first_difference, flag_sessions, walk_and_hold
from players import (EXIT, SHUTDOWN_ENDING, STEP_SECONDS, address_full, connect, connect_inside, first_place,
                     idle_ending, read_to_end, read_until)
from sessions import NC_LINE_END, PROMPT, as_typed, opening_output, reference_output, walk_to_goal
from unruly_players import flood

SOURCE = Path(__file__).resolve().parents[2]
PLAYERS = 100
IMAGE_ALLOWANCE = 18 << 20   # bytes the image may hold beyond the terminal: websocketd's 5.2 MiB among them
TEST_SECONDS = 480           # the longest the whole test may take
CONTAINER = "kestiv-terminal"
GAME_PORT = 1337
PER_ADDRESS = 4              # KESTIV_GAMES_PER_ADDRESS of the manifests
BRIDGE_PORT = 1338           # with the bridge's component
BRIDGE_ORIGIN = "game.example.org"


class Podman:
    """podman with a storage of its own, removed at the end."""

    def __init__(self, work):
        self.base = ["podman", "--root", str(Path(work) / "storage"), "--runroot", tempfile.mkdtemp(),
                     "--storage-driver", "vfs"]
        self.environment = dict(os.environ, CONTAINERS_CONF=str(SOURCE / "deploy/container/containers.conf"))
        self.work = work

    def run(self, *arguments, check=True):
        # conmon leaves a file named oom in its working folder when a container runs out of memory.
        return subprocess.run(self.base + list(arguments), env=self.environment, check=check,
                              capture_output=True, text=True, cwd=self.work)

    def inspect(self, name, template):
        return self.run("inspect", "--format", template, name).stdout.strip()

    def close(self):
        self.run("pod", "rm", "--force", "--all", check=False)
        self.run("volume", "prune", "--force", check=False)
        self.run("rmi", "--all", "--force", check=False)
        shutil.rmtree(self.base[4], ignore_errors=True)


class Pod:
    """The single pod of the Deployment as kube play names it, on a port of 127.0.0.1."""

    def __init__(self, podman, port, bridge):
        self.podman = podman
        self.port = port
        # With no game in play: the keeper (kestiv-seat --serve), its socat, and websocketd with the bridge.
        self.server_processes = 2 + bridge
        self.name = f"{CONTAINER}-pod-0"
        self.container = f"{self.name}-{CONTAINER}"
        self.server_pid = None

    def host_pid(self):
        """The host's pid of the pod's first process, kestiv-seat --serve."""
        if self.server_pid is None:
            self.server_pid = int(self.podman.inspect(self.container, "{{.State.Pid}}"))
        return self.server_pid

    def listener(self):
        """The host's pid of the server's socat, which reaps each game."""
        for pid in self.processes():
            fields = served._stat_fields(pid)
            if int(fields[1]) == self.host_pid() and Path(f"/proc/{pid}/comm").read_text().strip() == "socat":
                return pid
        raise RuntimeError("the pod's server has no socat")

    def processes(self):
        """Host pids of every process in the container's pid namespace."""
        namespace = os.readlink(f"/proc/{self.host_pid()}/ns/pid")
        found = []
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink(f"/proc/{entry}/ns/pid") == namespace:
                    found.append(int(entry))
            except OSError:
                continue
        return found

    async def connect_from(self, address, port=GAME_PORT):
        """A connection to the game port (or another) from a loopback address
        inside the pod's own network, as a player with an address of its
        own: through the published port every player would come from the
        host's bridge."""
        return await connect_inside(f"/proc/{self.host_pid()}/ns/net", port, address)


def play(podman, work, settings, image, bridge=False):
    """Renders the manifests with the settings, the image built and a host
    port on 127.0.0.1 as an overlay of the base (with the bridge's component
    for the pages of BRIDGE_ORIGIN, when asked), plays them, and returns
    once the pod listens."""
    if bridge:
        settings = dict(settings, KESTIV_WEBSOCKET_ORIGIN=BRIDGE_ORIGIN)
    port = served.free_port()
    overlay = Path(tempfile.mkdtemp(dir=work))
    container = "/spec/template/spec/containers/0"
    publish = [{"op": "add", "path": f"{container}/ports/0/hostPort", "value": port},
               {"op": "add", "path": f"{container}/ports/0/hostIP", "value": "127.0.0.1"}]
    one_pod_with_settings = {
        "apiVersion": "apps/v1", "kind": "Deployment", "metadata": {"name": CONTAINER},
        "spec": {"replicas": 1, "template": {"spec": {"containers": [{
            "name": CONTAINER, "env": [{"name": name, "value": str(value)} for name, value in settings.items()],
        }]}}}}
    # kube play would publish the Service's port on every address.
    no_service = {"apiVersion": "v1", "kind": "Service", "metadata": {"name": CONTAINER}, "$patch": "delete"}
    # JSON is YAML: the overlay needs no YAML writer.
    (overlay / "kustomization.yaml").write_text(json.dumps({
        "resources": [os.path.relpath(SOURCE / "deploy/kubernetes", overlay)],
        "images": [{"name": "localhost/kestiv-terminal", "newName": image[0], "newTag": image[1]}],
        "components": [os.path.relpath(SOURCE / "deploy/kubernetes-websocket", overlay)] if bridge else [],
        "patches": [{"target": {"kind": "Deployment"}, "patch": json.dumps(publish)},
                    {"patch": json.dumps(one_pod_with_settings)}, {"patch": json.dumps(no_service)}]}))
    rendered = overlay / "rendered.yaml"
    with open(rendered, "w") as output:
        subprocess.run(["kubectl", "kustomize", str(overlay)], stdout=output, check=True)
    podman.run("kube", "play", str(rendered))
    pod = Pod(podman, port, bridge)
    deadline = time.monotonic() + 30
    while not served.listening(port):
        if time.monotonic() > deadline:
            raise RuntimeError(f"the pod did not listen on {port}: "
                               f"{podman.run('logs', pod.container, check=False).stderr}")
        time.sleep(0.1)
    return pod


def remove(pod):
    pod.podman.run("pod", "rm", "--force", pod.name, check=False)
    pod.podman.run("volume", "prune", "--force", check=False)


def address(player):
    """The loopback address of a player, each in a /24 network of its own:
    127.0.2.1 for the first."""
    return f"127.{(player + 2) >> 8}.{(player + 2) & 255}.1"


def alive(pod):
    """Runs the liveness probe of the manifests, the pod's health check under podman."""
    return pod.podman.run("healthcheck", "run", pod.container, check=False).returncode == 0


def ready(pod):
    """Runs the readiness probe of the manifests, which podman does not run by itself."""
    return pod.podman.run("exec", pod.container, "kestiv-probe", check=False).returncode == 0


def check_confinement(pod, terminal_size, image):
    podman = pod.podman
    users = podman.run("top", pod.container, "user", "huser").stdout.split("\n")[1:]
    users = {line.strip() for line in users if line.strip()}
    check(users == {"10001       10001"}, f"every process of the pod runs as user 10001, in and out ({users})")
    check(podman.inspect(pod.container, "{{.HostConfig.ReadonlyRootfs}}") == "true", "the root file system is read-only")
    check(podman.inspect(pod.container, "{{.EffectiveCaps}}") == "[]", "the container has no capability")
    writing = podman.run("exec", pod.container, "sh", "-c", ": > /written", check=False)
    check(writing.returncode != 0 and "Read-only file system" in writing.stderr,
          "writing to the root fails inside the pod")
    image_size = int(podman.inspect(":".join(image), "{{.Size}}"))
    print(f"figure  image {image_size:,} bytes, terminal {terminal_size:,} bytes: "
          f"{(image_size - terminal_size) / (1 << 20):.2f} MiB beside the terminal", flush=True)
    check(image_size <= terminal_size + IMAGE_ALLOWANCE, "the image holds at most the terminal + 18 MiB")


async def walk_to_flag(pod, terminal, goal, flag):
    typed = as_typed(walk_to_goal(goal, 0) + [EXIT], NC_LINE_END)
    reader, writer = await connect(pod.port)
    writer.write(typed)
    received = await read_to_end(reader)
    writer.close()
    check(flag.encode() in received and received == reference_output(terminal, typed),
          "a player walks to the flag through the pod and gets exactly the terminal's output")


def cpu_of_reaped(pod):
    """CPU time, user and system, of the processes the server's socat has reaped."""
    fields = served._stat_fields(pod.listener())
    return sum(int(field) for field in fields[13:15]) / os.sysconf("SC_CLK_TCK")


def memory_per_game(pod):
    """The proportional memory of every process of the pod, in KiB, and the
    terminals among them."""
    total, terminals = 0, 0
    for pid in pod.processes():
        try:
            name, _, pss = served.memory_of(pid)
        except (OSError, StopIteration):
            continue
        total += pss
        terminals += name == "kestiv-terminal"
    return total, terminals


async def hundred_players(pod, terminal, goal, flag):
    sessions = flag_sessions(goal, PLAYERS)
    expected = [reference_output(terminal, b"".join(lines)) for lines in sessions]
    muster = Muster(PLAYERS)
    cpu_before = cpu_of_reaped(pod)
    started = time.monotonic()
    players = asyncio.gather(*(walk_and_hold(pod.connect_from(address(player)), lines[:-3], lines[-3:],
                                             muster.at_flag, muster.release)
                               for player, lines in enumerate(sessions)))
    try:
        await asyncio.wait_for(muster.everyone_there.wait(), 180)
        took = time.monotonic() - started
        print(f"figure  {PLAYERS} players at once walked to the flag in one pod in {took:.2f} s: "
              f"{PLAYERS / took:.1f} games per second", flush=True)
        total, terminals = memory_per_game(pod)
        check(terminals == PLAYERS, f"{PLAYERS} terminals ran at once in the pod ({terminals} seen)")
        print(f"figure  proportional memory per game inside the pod, all its processes: "
              f"{total / max(terminals, 1) / 1024:.1f} MiB", flush=True)
        reader, writer = await pod.connect_from(address(PLAYERS))
        told = await read_until(reader, b"\r\n")
        check(told == first_place(1), f"a player beyond the pod's {PLAYERS} games waits in line (got {told[:100]!r})")
        check(alive(pod) and not ready(pod), "a full pod is alive but not ready for more players")
        writer.close()
    finally:
        muster.release.set()
    results = await players
    mismatched = [player for player, (received, want) in enumerate(zip(results, expected)) if received != want]
    check(not mismatched, f"every player received exactly the output of its own session (differing: {mismatched})")
    for player in mismatched[:3]:
        print(f"        player {player}: {first_difference(results[player], expected[player])}", flush=True)
    deadline = time.monotonic() + 10
    while len(pod.processes()) > pod.server_processes and time.monotonic() < deadline:
        await asyncio.sleep(0.1)
    check(len(pod.processes()) == pod.server_processes, "every game's processes ended; only the server is left")
    cpu_per_game = (cpu_of_reaped(pod) - cpu_before) / PLAYERS
    print(f"figure  CPU time per game inside the pod, all its processes: {cpu_per_game * 1000:.0f} ms, so "
          f"{1 / cpu_per_game:.0f} games per second per core", flush=True)


async def one_address(pod):
    """A player's address has its games; the next from it is turned away in
    one line, and the games end when their players leave."""
    players = [await pod.connect_from(address(PLAYERS + 1)) for _ in range(PER_ADDRESS)]
    for reader, _ in players:
        await read_until(reader, PROMPT)
    reader, writer = await pod.connect_from(address(PLAYERS + 1))
    refused = await read_to_end(reader, 10)
    writer.close()
    check(refused == address_full(PER_ADDRESS),
          f"a game beyond {PER_ADDRESS} from one address is turned away (got {refused[:120]!r})")
    for _, writer in players:
        writer.close()
    deadline = time.monotonic() + 10
    while len(pod.processes()) > pod.server_processes and time.monotonic() < deadline:
        await asyncio.sleep(0.1)


async def stopped_with_games(pod):
    """SIGTERM to the pod, with games in play: each game ends with its
    message, and so does every process of the pod, well within the grace
    period."""
    players = [await pod.connect_from(address(player)) for player in range(5)]
    for reader, _ in players:
        await read_until(reader, PROMPT)
    processes = pod.processes()
    started = time.monotonic()
    stopping = asyncio.create_task(asyncio.to_thread(pod.podman.run, "pod", "stop", "--time", "10", pod.name))
    endings = await asyncio.gather(*(read_to_end(reader, 15) for reader, _ in players))
    ended = time.monotonic() - started
    await stopping
    for _, writer in players:
        writer.close()
    check(all(ending == SHUTDOWN_ENDING for ending in endings) and ended < 5,
          f"SIGTERM to the pod ended every game at once with its message ({ended:.1f} s; "
          f"{[ending[-80:] for ending in endings if ending != SHUTDOWN_ENDING][:2]})")
    check(pod.podman.inspect(pod.container, "{{.State.ExitCode}}") == str(128 + signal.SIGTERM),
          "the pod's server ended on SIGTERM itself, not on the KILL after the grace period")
    left = [pid for pid in processes if os.path.exists(f"/proc/{pid}")]
    check(not left, f"no process of the pod is left (left: {left})")


async def limits(pod, terminal, goal):
    """A pod of two games, 3 idle seconds, 5 seconds a game and 64 MiB."""
    opening = opening_output(terminal)
    silent_reader, silent_writer = await pod.connect_from(address(0))
    await read_until(silent_reader, PROMPT)
    silent_since = time.monotonic()
    long_since = time.monotonic()
    long_reader, long_writer = await pod.connect_from(address(1))
    long_received = await read_until(long_reader, PROMPT)

    async def keep_playing():
        while True:
            long_writer.write(b"dir\n")
            await asyncio.sleep(0.5)

    playing = asyncio.ensure_future(keep_playing())
    waiting_reader, waiting_writer = await pod.connect_from(address(2))
    told = await read_until(waiting_reader, b"\r\n")
    check(told == first_place(1), "with both of the pod's games taken, a third player waits in line")

    silent_ending = await read_to_end(silent_reader, STEP_SECONDS)
    silent_for = time.monotonic() - silent_since
    silent_writer.close()
    check(silent_ending == idle_ending(3) and 2.5 <= silent_for <= 8,
          f"a silent player is cut at the idle limit of 3 s with its message (after {silent_for:.1f} s, "
          f"ends {silent_ending[-60:]!r})")
    try:
        long_received += await read_to_end(long_reader, STEP_SECONDS)
    finally:
        playing.cancel()
    long_for = time.monotonic() - long_since
    long_writer.close()
    waiting_writer.close()
    ending = b"\x1b[0m\r\n\r\nTime is up: a game lasts at most 5 seconds.\r\n"
    check(long_received.endswith(ending) and 5 <= long_for <= 10,
          f"a game past 5 seconds ends with its message ({long_for:.1f} s after connecting)")

    started = time.monotonic()
    sent = await asyncio.to_thread(flood, pod.port)
    check(sent < 512 << 20, f"a line without end is stopped at the game's memory cap of 64 MiB "
                            f"(after {sent >> 20} MiB, {time.monotonic() - started:.1f} s)")
    deadline = time.monotonic() + 10
    while len(pod.processes()) > pod.server_processes and time.monotonic() < deadline:
        await asyncio.sleep(0.1)
    check(len(pod.processes()) == pod.server_processes, "the limited games left no process in the pod")
    reader, writer = await pod.connect_from(address(3))
    check(await read_until(reader, PROMPT) == opening, "the pod's seats are free again afterwards")
    writer.close()


async def bridge_play(pod, terminal):
    """The bridge's component: a page of the site plays through the pod's
    port 1338; a page of another site is refused."""
    await websocket_client.check_site_alone(lambda: pod.connect_from(address(0), BRIDGE_PORT), "127.0.0.1",
                                            BRIDGE_PORT, f"https://{BRIDGE_ORIGIN}", terminal,
                                            "the pod's port 1338 (the bridge's component)")


async def main(build, work):
    terminal, goal, flag = build_settings(build)
    podman = Podman(work)
    image = container_record.image_name(build)
    try:
        podman.run("load", "--quiet", "--input", str(container_record.archive(build)))
        print("== one pod of the Deployment with the bridge's component, 100 games", flush=True)
        pod = play(podman, work, {"KESTIV_GAMES": PLAYERS}, image, bridge=True)
        try:
            check(alive(pod) and ready(pod), "the probes of the manifests pass on a healthy pod")
            await walk_to_flag(pod, terminal, goal, flag)
            await bridge_play(pod, terminal)
            reader, writer = await pod.connect_from(address(0))
            await read_until(reader, PROMPT)
            check_confinement(pod, terminal.stat().st_size, image)
            writer.close()
            await one_address(pod)
            await hundred_players(pod, terminal, goal, flag)
            await stopped_with_games(pod)
        finally:
            remove(pod)

        print("== a pod with short limits", flush=True)
        pod = play(podman, work, {"KESTIV_GAMES": 2, "KESTIV_IDLE_SECONDS": 3, "KESTIV_GAME_SECONDS": 5,
                                  "KESTIV_GAME_MEMORY": 64}, image)
        try:
            await limits(pod, terminal, goal)
        finally:
            remove(pod)

        print("== a pod whose terminal cannot start", flush=True)
        pod = play(podman, work, {"KESTIV_GAME_MEMORY": 1}, image)
        try:
            check(not alive(pod) and not ready(pod), "the probes fail on a pod whose terminal cannot start")
        finally:
            remove(pod)
    finally:
        podman.close()


def out_of_time(*_):
    raise TimeoutError(f"the pod test ran past {TEST_SECONDS} s")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(TEST_SECONDS)
    with tempfile.TemporaryDirectory() as work_dir:
        asyncio.run(main(Path(sys.argv[1]).resolve(), work_dir))
    finish()
