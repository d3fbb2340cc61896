#!/usr/bin/env python3
"""The container image on a real engine: a Docker swarm of three engines
from Debian's packages (docker_nodes.py), each in namespaces of its own, the
stack made by deploy/swarm/kestiv-stack from the rendered Kubernetes base,
HAProxy in front. Every player plays on 127.0.0.1 and other loopback
addresses inside the front's network namespace on the first node, where
HAProxy listens, so that the front sees each player's own address:

- the stack becomes healthy: three game tasks, one front on every node;
- a walk to the flag through the front on each replica, every game exactly
  the terminal's output;
- the front sends the PROXY protocol: 100 players at once from 25
  addresses, four each, all play, and a fifth game from one address is
  turned away; the games' log shows each player's own address;
- the tasks' memory, process and CPU limits are the stack's, read from the
  kernel;
- a task whose terminal file is broken (a file that cannot be run mounted
  over it, as a rebuild in place or a lost file leaves it) plays on from
  the server's own copy of the terminal, in play, losing no game;
- a rolling update to the image of another maze loses at most 1 % of the
  games of players that keep playing, and every game begun after it plays
  the new maze;
- an update to an image that fails its health check is rolled back by the
  swarm itself;
- a node cut off: its task runs elsewhere and new games play within 60 s.

Prints the time to healthy, the games lost in each event and the address the
game sees.

usage: swarm_test.py BUILD_DIR OTHER_BUILD_DIR
  two builds of the release-container preset with different mazes
"""
import asyncio
import ipaddress
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path

import container_record
from checks import check, finish
from docker_nodes import DOCKER, Nodes
from load_test import Muster, build_settings, first_difference, flag_sessions, walk_and_hold
from players import EXIT, address_full, connect_inside, read_to_end, read_until, socket_inside
from sessions import PROMPT, TELNET_LINE_END, as_typed, reference_output, walk_to_goal

SOURCE = Path(__file__).resolve().parents[2]
STACK = "kestiv"
GAME = f"{STACK}_game"
FRONT = f"{STACK}_front"
FRONT_PORT = 31337           # the front's port on every node, inside the nodes' own namespaces
STATS_PORT = 9000            # HAProxy's view of the tasks, on the front's loopback
PLAYERS = 100
PER_ADDRESS = 4              # KESTIV_GAMES_PER_ADDRESS of the base
SPREAD_ADDRESSES = 30        # enough groups that the front's hash gives every task some
KEEP_PLAYING = 6             # players who play game after game through an event
LOST_AT_MOST = 0.01          # of the games of a rolling update
TERMINAL = "/usr/local/lib/kestiv-terminal/kestiv-terminal"   # in the image
# The keeper's log line for a game begun: its connection's number and address group.
GAME_STARTED = re.compile(r"^kestiv-seat: connection \d+ from (\S+): game started", re.MULTILINE)
HEALTHY_SECONDS = 240        # the longest the swarm may take to reach a state
TEST_SECONDS = 1800          # the longest the whole test may take

# Mounts a file over another in a process's mount namespace, where there is
# no mount program: in a python of its own, single-threaded as setns wants.
MOUNT_OVER = """
import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
namespace = os.open(f"/proc/{sys.argv[1]}/ns/mnt", os.O_RDONLY)
CLONE_NEWNS, MS_BIND = 0x00020000, 4096
if libc.setns(namespace, CLONE_NEWNS) != 0 or libc.mount(sys.argv[2].encode(), sys.argv[3].encode(), None, MS_BIND, None) != 0:
    sys.exit(f"cannot mount {sys.argv[2]} over {sys.argv[3]}: {os.strerror(ctypes.get_errno())}")
"""


@dataclass
class Maze:
    """A build's maze as a player meets it: the root's listing, the walk to
    the flag and the exact output of a game that lists the root and walks."""
    image: str
    flag: str
    listing: bytes
    typed_after_listing: bytes
    whole_game: bytes


def maze_of(build):
    terminal, goal, flag = build_settings(build)
    listing = reference_output(terminal, as_typed([b"dir", EXIT], TELNET_LINE_END)).split(PROMPT)[1]
    walk = as_typed(walk_to_goal(goal, 0) + [EXIT], TELNET_LINE_END)
    whole = reference_output(terminal, as_typed([b"dir"], TELNET_LINE_END) + walk)
    return Maze(container_record.record(build)["image"], flag, listing, walk, whole)


class Swarm:
    """The three nodes, the stack on them and the way in through the front."""

    def __init__(self, nodes, work):
        self.nodes = nodes
        self.manager = nodes.nodes[0]
        self.work = work

    def docker(self, *arguments, check=True):
        return self.manager.docker(*arguments, check=check)

    def tasks(self, service, state="running"):
        """The service's tasks in the desired state: id, node, image, current state."""
        lines = self.docker("service", "ps", service, "--no-trunc", "--filter", f"desired-state={state}",
                            "--format", "{{.ID}} {{.Node}} {{.Image}} {{.CurrentState}}").stdout.splitlines()
        return [line.split(" ", 3) for line in lines]

    def healthy_games(self):
        """The game's tasks that run and passed their health check, by node and container."""
        found = []
        for node in self.nodes.nodes:
            result = node.docker("ps", "--filter", f"label=com.docker.swarm.service.name={GAME}",
                                 "--filter", "health=healthy", "--format", "{{.ID}} {{.Image}}", check=False)
            found += [(node, *line.split()) for line in result.stdout.splitlines()]
        return found

    def wait_for(self, what, condition, seconds=HEALTHY_SECONDS):
        """Polls the condition until it holds; returns how long that took."""
        started = time.monotonic()
        while not condition():
            if time.monotonic() - started > seconds:
                raise RuntimeError(f"not within {seconds} s: {what}")
            time.sleep(0.5)
        return time.monotonic() - started

    def games_begun(self):
        """The address group of every game begun on the running healthy
        tasks, as their keepers logged it."""
        seen = []
        for node, container, _ in self.healthy_games():
            logs = node.docker("logs", container, check=False)
            seen += GAME_STARTED.findall(logs.stdout + logs.stderr)
        return seen

    def front_netns(self):
        """The network namespace of the first node's front, where HAProxy listens."""
        container = self.manager.docker("ps", "-q", "--filter",
                                        f"label=com.docker.swarm.service.name={FRONT}").stdout.split()[0]
        key = self.manager.docker("inspect", "--format", "{{.NetworkSettings.SandboxKey}}", container).stdout.strip()
        return f"/proc/{self.manager.engine_pid}/root{key}"

    def tasks_up_in_front(self):
        """How many game tasks the first node's front sends players to, by
        HAProxy's own view (its stats, in CSV)."""
        try:
            with socket_inside(self.front_netns()) as stats:
                stats.settimeout(10)
                stats.connect(("127.0.0.1", STATS_PORT))
                stats.sendall(b"show stat\n")
                answer = b""
                while chunk := stats.recv(65536):
                    answer += chunk
        except (OSError, IndexError):
            return 0
        rows = [line.split(",") for line in answer.decode().splitlines() if line.startswith("games,game")]
        return sum(1 for row in rows if row[17] == "UP")

    def container_pid(self, node, container):
        pid = int(node.docker("inspect", "--format", "{{.State.Pid}}", container).stdout)
        return self.nodes.pid_in_host(node, pid)


class Front:
    """Connections to the front from loopback addresses of its namespace."""

    def __init__(self, netns):
        self.netns = netns

    async def connect(self, address="127.0.0.1"):
        return await connect_inside(self.netns, 1337, address)


@dataclass
class Game:
    started: float
    ended: float
    maze: str      # the image of the maze met, or "" when none was
    played: bool   # the whole game, byte for byte
    why: str = ""


async def one_game(front, mazes, address="127.0.0.1"):
    """A scripted player's game: lists the root, knows the maze by it, walks
    to the flag and leaves."""
    started = time.monotonic()
    try:
        reader, writer = await front.connect(address)
        try:
            received = await read_until(reader, PROMPT)
            writer.write(as_typed([b"dir"], TELNET_LINE_END))
            received += await read_until(reader, PROMPT)
            listing = received.split(PROMPT)[1]
            maze = next((maze for maze in mazes if maze.listing == listing), None)
            if maze is None:
                return Game(started, time.monotonic(), "", False, f"an unknown root: {received[-120:]!r}")
            writer.write(maze.typed_after_listing)
            received += await read_to_end(reader)
            played = received == maze.whole_game
            return Game(started, time.monotonic(), maze.image, played,
                        "" if played else first_difference(received, maze.whole_game))
        finally:
            writer.close()
    except (OSError, asyncio.IncompleteReadError, asyncio.TimeoutError, IndexError) as error:
        return Game(started, time.monotonic(), "", False, f"{type(error).__name__}: {error}")


@dataclass
class Players:
    """Players who play game after game until told to stop, as scripts do."""
    front: Front
    mazes: list
    games: list = field(default_factory=list)
    stop: asyncio.Event = field(default_factory=asyncio.Event)

    async def play(self, address):
        while not self.stop.is_set():
            self.games.append(await one_game(self.front, self.mazes, address))

    def start(self):
        # One address each, so that the limit per address never turns one away.
        self.tasks = [asyncio.create_task(self.play(f"127.0.1.{player + 1}")) for player in range(KEEP_PLAYING)]

    async def finish(self):
        self.stop.set()
        await asyncio.gather(*self.tasks)

    def lost(self, since=0.0):
        return [game for game in self.games if game.started >= since and not game.played]


def report_lost(event, players, since=0.0):
    games = [game for game in players.games if game.started >= since]
    lost = players.lost(since)
    print(f"figure  {event}: {len(lost)} of {len(games)} games lost", flush=True)
    for game in lost[:3]:
        print(f"        lost: {game.why[:200]}", flush=True)
    return games, lost


def render_stack(work, image, proxy_protocol):
    """The base with the image, rendered by kubectl kustomize, made into the stack."""
    overlay = Path(tempfile.mkdtemp(dir=work))
    name, _, tag = image.rpartition(":")
    # The players who play through every event are scripts that start game
    # after game from one address each: as a host expecting such players
    # would, the stack lets them connect as often as they like.
    scripts_welcome = {"apiVersion": "apps/v1", "kind": "Deployment", "metadata": {"name": "kestiv-terminal"},
                       "spec": {"template": {"spec": {"containers": [{
                           "name": "kestiv-terminal",
                           "env": [{"name": "KESTIV_CONNECTIONS_PER_MINUTE", "value": "100000"}]}]}}}}
    (overlay / "kustomization.yaml").write_text(json.dumps({
        "resources": [os.path.relpath(SOURCE / "deploy/kubernetes", overlay)],
        "patches": [{"patch": json.dumps(scripts_welcome)}],
        "images": [{"name": "localhost/kestiv-terminal", "newName": name, "newTag": tag}]}))
    rendered = subprocess.run(["kubectl", "kustomize", str(overlay)], check=True, capture_output=True,
                              text=True).stdout
    output = overlay / "stack"
    subprocess.run([str(SOURCE / "deploy/swarm/kestiv-stack"), "--port", str(FRONT_PORT), "-", str(output),
                    *(["--proxy-protocol"] if proxy_protocol else [])],
                   input=rendered, text=True, check=True)
    return output / "docker-stack.yml", rendered


def load_images(nodes, work, builds, broken_from):
    """Every node gets both mazes' images, a broken one and the front."""
    for node in nodes.nodes:
        for build in builds:
            record = container_record.record(build)
            subprocess.run(["skopeo", "copy", "--quiet", "--dest-daemon-host", f"unix://{node.socket}",
                            f"oci-archive:{container_record.archive(build)}", f"docker-daemon:{record['image']}"],
                           check=True, capture_output=True)
    manager = nodes.nodes[0]
    environment = dict(os.environ, DOCKER=DOCKER, DOCKER_HOST=f"unix://{manager.socket}")
    subprocess.run([str(SOURCE / "deploy/swarm/build-front")], env=environment, check=True, capture_output=True)
    # An image whose terminal never starts a game: its health check fails.
    context = Path(tempfile.mkdtemp(dir=work))
    (context / "kestiv-terminal").write_text("#!/bin/sh\nexit 1\n")
    (context / "kestiv-terminal").chmod(0o755)
    (context / "Dockerfile").write_text(f"FROM {broken_from}\n"
                                        "COPY kestiv-terminal /usr/local/lib/kestiv-terminal/kestiv-terminal\n")
    manager.docker("build", "--quiet", "--tag", "localhost/kestiv-terminal:broken", str(context))
    saved = Path(work) / "images.tar"
    manager.docker("save", "--output", str(saved), "localhost/kestiv-front:1.0", "localhost/kestiv-terminal:broken")
    for node in nodes.nodes[1:]:
        node.docker("load", "--quiet", "--input", str(saved))


async def walk_on_each_replica(swarm, front, maze):
    """Games held at the prompt from SPREAD_ADDRESSES addresses land on every
    task, each group on one; then each walks to the flag."""
    # Each of its own /24, so that no network's limit turns one away.
    addresses = [f"127.2.{player + 1}.1" for player in range(SPREAD_ADDRESSES)]
    players = [await front.connect(address) for address in addresses]
    for reader, _ in players:
        await read_until(reader, PROMPT)
    terminals = []
    for node, container, _ in swarm.healthy_games():
        pid = swarm.container_pid(node, container)
        namespace = os.readlink(f"/proc/{pid}/ns/pid")
        terminals.append(sum(1 for entry in filter(str.isdigit, os.listdir("/proc"))
                             if _in(entry, namespace) and _name(entry) == "kestiv-terminal"))
    check(len(terminals) == 3 and min(terminals) > 0 and sum(terminals) == SPREAD_ADDRESSES,
          f"{SPREAD_ADDRESSES} games from as many addresses are spread over every replica ({terminals})")
    seen = sorted({address for address in swarm.games_begun() if address.startswith("127.2.")},
                  key=ipaddress.ip_address)
    check(seen == addresses,
          f"the games' log shows each player's own address, sent by the front ({seen})")
    print(f"figure  addresses seen by the game for players {addresses[0]} to {addresses[-1]}: {seen}", flush=True)
    typed = as_typed([b"dir"], TELNET_LINE_END) + maze.typed_after_listing
    received = []
    for reader, writer in players:
        writer.write(typed)
        received.append(await read_to_end(reader))
        writer.close()
    opening = maze.whole_game.split(PROMPT)[0] + PROMPT
    check(all(game == maze.whole_game[len(opening):] for game in received),
          "a walk to the flag through the front on each replica gets exactly the terminal's output")


def _in(pid, namespace):
    try:
        return os.readlink(f"/proc/{pid}/ns/pid") == namespace
    except OSError:
        return False


def _name(pid):
    try:
        return Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return ""


async def hundred_players(swarm, front, terminal, goal):
    """100 players at once, four from each of 25 addresses; while they hold
    their games a fifth from one address is turned away, and the keepers
    have logged each game under its player's own address."""
    sessions = flag_sessions(goal, PLAYERS)
    expected = [reference_output(terminal, b"".join(lines)) for lines in sessions]
    muster = Muster(PLAYERS)
    started = time.monotonic()
    # Each address of its own /24, so that no network's limit turns one away.
    players = asyncio.gather(*(walk_and_hold(front.connect(f"127.3.{player // PER_ADDRESS + 1}.1"), lines[:-3],
                                             lines[-3:], muster.at_flag, muster.release)
                               for player, lines in enumerate(sessions)))
    try:
        await asyncio.wait_for(muster.everyone_there.wait(), 300)
        took = time.monotonic() - started
        print(f"figure  {PLAYERS} players at once from 25 addresses walked to the flag through the front in "
              f"{took:.1f} s", flush=True)
        reader, writer = await front.connect("127.3.1.1")
        refused = await read_to_end(reader, 30)
        writer.close()
        check(refused == address_full(PER_ADDRESS), "the game sees each player's own address: a fifth game from "
              f"one of them is turned away, the others' games go on (got {refused[:100]!r})")
        begun = Counter(address for address in swarm.games_begun() if address.startswith("127.3."))
        addresses = sorted(begun, key=ipaddress.ip_address)
        check(len(begun) == PLAYERS // PER_ADDRESS and set(begun.values()) == {PER_ADDRESS},
              f"the games' log shows the {PLAYERS} players under their own {PLAYERS // PER_ADDRESS} addresses, "
              f"{PER_ADDRESS} games each ({dict(begun)})")
        print(f"figure  the players' address seen by the game: {len(begun)} addresses, "
              f"{addresses[0] if addresses else '-'} to {addresses[-1] if addresses else '-'}, "
              f"{sorted(set(begun.values()))} games each, through the PROXY protocol", flush=True)
    finally:
        muster.release.set()
    results = await players
    mismatched = [player for player, (got, want) in enumerate(zip(results, expected)) if got != want]
    check(not mismatched, f"each of the {PLAYERS} players received exactly its own game (differing: {mismatched})")


def cgroup_value(pid, hierarchy, name):
    relative = next(line.split(":", 2)[2] for line in Path(f"/proc/{pid}/cgroup").read_text().splitlines()
                    if line.split(":")[1] == hierarchy)
    return Path(f"/sys/fs/cgroup/{hierarchy}{relative}/{name}").read_text().strip()


def check_limits(swarm, stack_file):
    stack = json.loads(stack_file.read_text().split("\n", 1)[1])
    limits = stack["services"]["game"]["deploy"]["resources"]["limits"]
    node, container, _ = swarm.healthy_games()[0]
    pid = swarm.container_pid(node, container)
    memory = cgroup_value(pid, "memory", "memory.limit_in_bytes")
    pids = cgroup_value(pid, "pids", "pids.max")
    quota = int(cgroup_value(pid, "cpu", "cpu.cfs_quota_us")) / int(cgroup_value(pid, "cpu", "cpu.cfs_period_us"))
    check(memory == limits["memory"] and pids == str(limits["pids"]) and quota == float(limits["cpus"]),
          f"a task's cgroups hold the stack's limits: memory {memory} bytes, {pids} processes, {quota} CPUs")
    status = Path(f"/proc/{pid}/status").read_text()
    uid = next(line.split()[1] for line in status.splitlines() if line.startswith("Uid:"))
    capabilities = next(line.split()[1] for line in status.splitlines() if line.startswith("CapEff:"))
    writing = node.docker("exec", container, "sh", "-c", ": > /written", check=False)
    check(uid == "10001" and int(capabilities, 16) == 0 and "Read-only file system" in writing.stderr,
          f"a task runs as user 10001 with no capability on a read-only root (uid {uid}, CapEff {capabilities})")


async def broken_terminal(swarm, players):
    """A task whose terminal file is broken in place: /dev/null mounted over
    it, as a file lost or rebuilt while the server runs would leave it. The
    server runs its own copy of the terminal, so the task stays in play and
    its games go on."""
    node, container, _ = swarm.healthy_games()[0]
    pid = swarm.container_pid(node, container)
    since = time.monotonic()
    subprocess.run([sys.executable, "-c", MOUNT_OVER, str(pid), "/dev/null", TERMINAL], check=True)
    await players_after(players, since, 30)
    games, lost = report_lost("a task's terminal file broken", players, since)
    check(container in [c for _, c, _ in swarm.healthy_games()] and games and not lost,
          f"a task whose terminal file is broken plays on from the server's copy, in play, losing no game "
          f"({len(lost)} of {len(games)} lost)")


def update_finished(swarm, states):
    state = swarm.docker("service", "inspect", "--format", "{{if .UpdateStatus}}{{.UpdateStatus.State}}{{end}}",
                         GAME).stdout.strip()
    return state in states


async def rolling_update(swarm, players, new):
    since = time.monotonic()
    swarm.docker("service", "update", "--detach", "--image", new.image, GAME)
    took = await asyncio.to_thread(swarm.wait_for, "the rolling update completed",
                                   lambda: update_finished(swarm, ("completed",)))
    ended = time.monotonic()
    print(f"figure  rolling update to another maze: {took:.0f} s", flush=True)
    games, lost = report_lost("rolling update", players, since)
    check(games and len(lost) <= LOST_AT_MOST * len(games),
          f"a rolling update loses at most 1 % of the games ({len(lost)} of {len(games)})")
    await players_after(players, ended)
    after = [game for game in players.games if game.started > ended]
    check(after and all(game.maze == new.image for game in after if game.played),
          f"every game begun after the update plays the new maze ({len(after)} games)")


async def players_after(players, moment, games=12):
    """Waits for a few games begun after the moment to end."""
    deadline = time.monotonic() + 120
    while sum(1 for game in players.games if game.started > moment) < games and time.monotonic() < deadline:
        await asyncio.sleep(0.2)


async def broken_update(swarm, players, current):
    since = time.monotonic()
    swarm.docker("service", "update", "--detach", "--image", "localhost/kestiv-terminal:broken", GAME)
    took = await asyncio.to_thread(swarm.wait_for, "the failed update rolled back",
                                   lambda: update_finished(swarm, ("rollback_completed",)))
    image = swarm.docker("service", "inspect", "--format", "{{.Spec.TaskTemplate.ContainerSpec.Image}}",
                         GAME).stdout.strip()
    print(f"figure  update to an image that fails its health check: rolled back by the swarm in {took:.0f} s",
          flush=True)
    check(image.startswith(current.image), f"an image that fails its health check is rolled back by itself ({image})")
    report_lost("broken image rolled back", players, since)


async def node_cut(swarm, players):
    worker = next(node for node in swarm.nodes.nodes[1:] if any(task[1] == node.name for task in swarm.tasks(GAME)))
    since = time.monotonic()
    swarm.nodes.cut(worker)
    down = await asyncio.to_thread(swarm.wait_for, f"{worker.name} marked down", lambda: swarm.docker(
        "node", "inspect", "--format", "{{.Status.State}}", worker.name).stdout.strip() == "down")
    elsewhere = await asyncio.to_thread(swarm.wait_for, "three healthy tasks on the nodes left", lambda: len(
        [task for task in swarm.healthy_games() if task[0] is not worker]) == 3)
    rescheduled = time.monotonic() - since
    await players_after(players, since + rescheduled, 6)
    fine = [game.started - since for game in players.games if game.started > since + rescheduled and game.played]
    print(f"figure  {worker.name} cut off: marked down after {down:.0f} s, its task healthy elsewhere "
          f"{rescheduled:.0f} s after the cut", flush=True)
    check(fine and rescheduled <= 60,
          f"a node cut off: its task healthy on another node {rescheduled:.0f} s after the cut, new games playing")
    report_lost("node cut off", players, since)


async def main(build, other_build, work):
    mazes = [maze_of(build), maze_of(other_build)]
    terminal, goal, _ = build_settings(build)
    started = time.monotonic()
    nodes = Nodes(3)
    try:
        nodes.form_swarm()
        print(f"figure  three engines up and joined in a swarm in {time.monotonic() - started:.1f} s", flush=True)
        load_images(nodes, work, (build, other_build), mazes[1].image)
        swarm = Swarm(nodes, work)
        stack_file, _ = render_stack(work, mazes[0].image, proxy_protocol=True)
        deployed = time.monotonic()
        swarm.docker("stack", "deploy", "--compose-file", str(stack_file), STACK)
        took = await asyncio.to_thread(swarm.wait_for, "three healthy game tasks and a front on every node",
                                       lambda: len(swarm.healthy_games()) == 3 and
                                       len(swarm.tasks(FRONT)) == 3 and
                                       all(task[3].startswith("Running") for task in swarm.tasks(FRONT)))
        print(f"figure  time to healthy: {took:.1f} s from docker stack deploy to three healthy game tasks",
              flush=True)
        # The front probes the tasks on its own clock: players go to a task once it has passed.
        in_front = await asyncio.to_thread(swarm.wait_for, "the front sending players to all three tasks",
                                           lambda: swarm.tasks_up_in_front() == 3)
        print(f"figure  time to play: {took + in_front:.1f} s from docker stack deploy to the front taking "
              f"players to all three tasks", flush=True)
        check(deployed, "the stack made from the Kubernetes base becomes healthy")
        front = Front(swarm.front_netns())
        await walk_on_each_replica(swarm, front, mazes[0])
        await hundred_players(swarm, front, terminal, goal)
        check_limits(swarm, stack_file)

        players = Players(front, mazes)
        players.start()
        try:
            await players_after(players, time.monotonic())
            await broken_terminal(swarm, players)
            await rolling_update(swarm, players, mazes[1])
            await broken_update(swarm, players, mazes[1])
            await node_cut(swarm, players)
        finally:
            await players.finish()
        report_lost("all events", players)
    finally:
        nodes.close()


def out_of_time(*_):
    raise TimeoutError(f"the swarm test ran past {TEST_SECONDS} s")


def stopped(*_):
    raise SystemExit("the swarm test was stopped")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, stopped)
    signal.alarm(TEST_SECONDS)
    with tempfile.TemporaryDirectory() as work_dir:
        asyncio.run(main(Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve(), work_dir))
    finish()
