#!/usr/bin/env python3
"""The Kubernetes base played on a real cluster, the one single_node.sh
starts (real_cluster.sh runs this inside it). The base is applied through an
overlay that only names the loaded image, over deploy/kubernetes-compat's
overlay for the API versions the cluster lacks. Then:

- readiness before traffic: the Service lists a pod only once the pod is
  Ready (every change of its endpoints is watched, from the first apply to
  the end), and the time each pod takes to become Ready;
- NodePort play: a walk to the flag through the Service's node port on
  127.0.0.1, and one from a player outside the node through the node's
  address; players held at the flag at once, each from an address of its
  own, are spread over every pod and each receives exactly its own game;
- the client address: with externalTrafficPolicy: Local the game sees each
  player's own address, with Cluster the node's;
- a liveness restart: a pod whose server hangs leaves the Service when its
  readiness probe fails, is restarted when its liveness probe fails, and
  comes back once Ready, while players keep playing;
- a rolling update to another image, players playing all along: every pod
  is replaced, no game hangs or is cut without being told why.

Prints the figures of each event: times, and games played and lost.

usage: real_cluster_test.py BUILD_DIR   (a release-container build)
"""
import asyncio
import ipaddress
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from datetime import datetime, timezone
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from checks import check, finish  # noqa: E402
from load_test import Muster, build_settings, flag_sessions, first_difference, walk_and_hold  # noqa: E402
from players import SHUTDOWN_ENDING, socket_inside  # noqa: E402
from sessions import NC_LINE_END, as_typed, reference_output, walk_to_goal  # noqa: E402

SOURCE = Path(__file__).resolve().parents[3]
NAME = "kestiv-terminal"
SELECTOR = "app.kubernetes.io/name=kestiv-terminal"
REPLICAS = 3                 # the base's
GAME_PORT = 1337
HELD_PLAYERS = 30            # players at the flag at once, each from an address of its own
PLAYING = 4                  # players who keep playing through an event
EVENT_SECONDS = 600          # the longest any event of the cluster may take
GAME_SECONDS = 30            # the longest a short game may take before it counts as hung
TEST_SECONDS = 2400
NODE_IP = os.environ["KESTIV_NODE_IP"]
CLIENT_SUBNET = os.environ["KESTIV_CLIENT_SUBNET"]


def kubectl(*arguments, input=None):
    return subprocess.run(["kubectl", *arguments], input=input, capture_output=True, text=True,
                          check=True).stdout


def get(*arguments):
    return json.loads(kubectl("get", *arguments, "-o", "json"))


def server_time(stamp):
    """Seconds since the epoch of a time the API server wrote."""
    return datetime.strptime(stamp, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc).timestamp()


def await_event(what, predicate, seconds=EVENT_SECONDS):
    """Polls the predicate until it returns something true, which it returns."""
    deadline = time.monotonic() + seconds
    while True:
        found = predicate()
        if found:
            return found
        if time.monotonic() > deadline:
            raise TimeoutError(f"{what}: not within {seconds} s")
        time.sleep(0.25)


def player_address(number):
    """The address of player NUMBER outside the node: 10.200.1.10 on."""
    network = CLIENT_SUBNET.split("/")[0].rsplit(".", 1)[0]
    return f"{network}.{10 + number}"


# --- The cluster's objects -------------------------------------------------

class Pod:
    def __init__(self, item):
        self.name = item["metadata"]["name"]
        self.ip = item["status"].get("podIP")
        conditions = {c["type"]: c for c in item["status"].get("conditions", [])}
        ready = conditions.get("Ready", {})
        self.ready = ready.get("status") == "True"
        self.ready_since = server_time(ready["lastTransitionTime"]) if self.ready else None
        statuses = item["status"].get("containerStatuses", [])
        status = statuses[0] if statuses else {}
        self.restarts = status.get("restartCount", 0)
        self.container = status.get("containerID", "").removeprefix("containerd://")
        running = status.get("state", {}).get("running")
        self.started = server_time(running["startedAt"]) if running else None
        self.image = item["spec"]["containers"][0]["image"]
        self.terminating = "deletionTimestamp" in item["metadata"]


def pods():
    return [Pod(item) for item in get("pods", "-l", SELECTOR)["items"]]


def all_ready():
    """The pods, once REPLICAS of them are Ready and none is leaving."""
    now = pods()
    return now if sum(pod.ready and not pod.terminating for pod in now) == REPLICAS == len(now) else None


def node_port():
    return get("service", NAME)["spec"]["ports"][0]["nodePort"]


class Watch:
    """kubectl get --watch of one kind, each object as it changes, with the
    time it came."""

    def __init__(self, *arguments, on_object):
        self.process = subprocess.Popen(["kubectl", "get", *arguments, "-o", "json", "--watch"],
                                        stdout=subprocess.PIPE, text=True)
        self.on_object = on_object
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        """kubectl writes one object after another, each as JSON over many lines."""
        decoder = json.JSONDecoder()
        pending = ""
        for line in self.process.stdout:
            pending += line
            try:
                found, end = decoder.raw_decode(pending.lstrip())
            except json.JSONDecodeError:
                continue
            pending = pending.lstrip()[end:]
            for item in found.get("items", [found]):
                self.on_object(item, time.time())

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Readiness:
    """Every time a pod became Ready, and every time one entered the
    Service's ready addresses, watched from the start."""

    def __init__(self):
        self.ready_times = {}        # pod -> the times it became Ready
        self.entries = []            # (pod, time it entered the ready addresses)
        self.exits = []              # (pod, time it left them)
        self.listed = set()
        self.lock = threading.Lock()
        self.watches = [Watch("pods", "-l", SELECTOR, on_object=self.pod_changed),
                        Watch("endpoints", "--field-selector", f"metadata.name={NAME}",
                              on_object=self.endpoints_changed)]

    def pod_changed(self, item, _):
        pod = Pod(item)
        if pod.ready:
            with self.lock:
                self.ready_times.setdefault(pod.name, set()).add(pod.ready_since)

    def endpoints_changed(self, item, when):
        listed = {address["targetRef"]["name"] for subset in item.get("subsets") or []
                  for address in subset.get("addresses", [])}
        with self.lock:
            self.entries += [(name, when) for name in listed - self.listed]
            self.exits += [(name, when) for name in self.listed - listed]
            self.listed = listed

    def left(self, name, since):
        """When the pod left the Service after SINCE, if it has."""
        with self.lock:
            return next((when for left, when in self.exits if left == name and when >= since), None)

    def early_entries(self):
        """The entries of a pod into the Service before it had become Ready."""
        with self.lock:
            return [(name, when) for name, when in self.entries
                    if not any(since <= when for since in self.ready_times.get(name, ()))]

    def stop(self):
        for watch in self.watches:
            watch.stop()


# --- Players -----------------------------------------------------------------

async def connect_from_outside(address, port):
    """A connection from ADDRESS outside the node to the node's port."""
    sock = socket_inside(os.environ["KESTIV_CLIENT_NETNS"])
    sock.setblocking(False)
    sock.bind((address, 0))
    try:
        await asyncio.get_running_loop().sock_connect(sock, (NODE_IP, port))
    except OSError:
        sock.close()
        raise
    return await asyncio.open_connection(sock=sock, limit=1 << 20)


class Games:
    """Short games, each the whole walk to the flag sent at once: how each
    ended, and when it started."""

    def __init__(self, terminal, goal):
        self.typed = as_typed(walk_to_goal(goal, 0) + [b"exit"], NC_LINE_END)
        self.expected = reference_output(terminal, self.typed)
        self.outcomes = Counter()
        self.examples = {}
        self.started = []            # (time, outcome), a game a pair

    async def play(self, connection):
        started = time.time()
        outcome, detail = await self.outcome(connection)
        self.outcomes[outcome] += 1
        self.examples.setdefault(outcome, str(detail))
        self.started.append((started, outcome))
        return outcome

    async def outcome(self, connection):
        try:
            reader, writer = await asyncio.wait_for(connection, GAME_SECONDS)
        except (OSError, asyncio.TimeoutError) as error:
            return "not connected", error
        received = bytearray()
        try:
            writer.write(self.typed)
            async with asyncio.timeout(GAME_SECONDS):
                while chunk := await reader.read(1 << 16):
                    received += chunk
        except TimeoutError:
            return "hung", f"{len(received)} bytes received"
        except OSError as error:
            if not received:
                return "reset before a word", error
            return "cut mid-game without a word", f"{error} after {len(received)} bytes"
        finally:
            writer.close()
        if received == self.expected:
            return "played", ""
        if received.endswith(SHUTDOWN_ENDING) and self.expected.startswith(received[:-len(SHUTDOWN_ENDING)]):
            return "ended by the server's shutdown, with its message", ""
        if not received:
            return "closed before a word", ""
        return "differs", first_difference(bytes(received), self.expected)

    def lost(self):
        return sum(count for outcome, count in self.outcomes.items() if outcome != "played")

    def silent_losses(self):
        """Games lost without a reason a player can see: hung, cut or garbled."""
        return {outcome: count for outcome, count in self.outcomes.items()
                if outcome in ("hung", "cut mid-game without a word", "differs")}

    def lost_since(self, moment):
        return [outcome for started, outcome in self.started if started >= moment and outcome != "played"]


class Playing:
    """PLAYING players from addresses of their own outside the node, each
    playing one short game after another until stopped."""

    def __init__(self, games, port, first_address):
        self.games = games
        self.stopping = asyncio.Event()
        self.tasks = [asyncio.create_task(self.player(player_address(first_address + n), port))
                      for n in range(PLAYING)]

    async def player(self, address, port):
        while not self.stopping.is_set():
            outcome = await self.games.play(connect_from_outside(address, port))
            if outcome == "not connected":
                # A port that turns players away at once would spin.
                await asyncio.sleep(0.2)

    async def stop(self):
        self.stopping.set()
        await asyncio.gather(*self.tasks)


def report(event, games):
    outcomes = ", ".join(f"{count} {outcome}" for outcome, count in games.outcomes.most_common())
    total = sum(games.outcomes.values())
    print(f"figure  {event}: {total} games, {games.lost()} lost ({outcomes})", flush=True)
    for outcome, example in games.examples.items():
        if outcome != "played" and example:
            print(f"        {outcome}: {example}", flush=True)


# --- A pod's processes, seen from the node ----------------------------------

def container_processes(container):
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            if container in Path(f"/proc/{entry}/cgroup").read_text():
                found.append(int(entry))
        except OSError:
            continue
    return found


def parent(pid):
    return int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])


def command(pid):
    return Path(f"/proc/{pid}/comm").read_text().strip()


def listener(container):
    """The server's socat, which accepts the players: the child of the container's first process."""
    processes = container_processes(container)
    first = next(pid for pid in processes if parent(pid) not in processes)
    return next(pid for pid in processes if parent(pid) == first and command(pid) == "socat")


def peers(container):
    """The addresses of the players of a pod's games in play, as its games
    see them. The server listens on IPv6 and IPv4 at once, so an IPv4 player
    shows as an IPv4-mapped IPv6 address."""
    processes = container_processes(container)
    seen = []
    for table in ("tcp", "tcp6"):
        for line in Path(f"/proc/{processes[0]}/net/{table}").read_text().splitlines()[1:]:
            fields = line.split()
            local_port = int(fields[1].split(":")[1], 16)
            if local_port != GAME_PORT or fields[3] != "01":   # established
                continue
            raw = bytes.fromhex(fields[2].split(":")[0])
            # The kernel writes each 32-bit word of the address in the host's byte order.
            packed = b"".join(int.from_bytes(raw[i:i + 4], sys.byteorder).to_bytes(4, "big")
                              for i in range(0, len(raw), 4))
            address = ipaddress.ip_address(packed)
            address = getattr(address, "ipv4_mapped", None) or address
            # The probes play from inside the pod.
            if not address.is_loopback:
                seen.append(str(address))
    return seen


def confinement(container):
    """Each process's user ids and effective capabilities, and the options of the root mount."""
    processes = container_processes(container)
    users = set()
    for pid in processes:
        status = dict(line.split(":", 1) for line in Path(f"/proc/{pid}/status").read_text().splitlines())
        users.add((" ".join(status["Uid"].split()), status["CapEff"].strip()))
    root = next(line.split() for line in Path(f"/proc/{processes[0]}/mountinfo").read_text().splitlines()
                if line.split()[4] == "/")
    return users, root[5].split(",")


def terminals(container):
    return sum(command(pid) == "kestiv-terminal" for pid in container_processes(container))


# --- The events ----------------------------------------------------------------

def image_names():
    """The base's image as rendered, and the image loaded from the archive."""
    rendered = kubectl("kustomize", str(SOURCE / "deploy/kubernetes"))
    base = next(line.split("image:", 1)[1].strip() for line in rendered.splitlines() if "image:" in line)
    loaded = [name for name in subprocess.run(["ctr", "images", "list", "--quiet"], capture_output=True,
                                              text=True, check=True).stdout.split()
              if NAME in name and not name.startswith("sha256:")]
    return base, loaded


def write_overlay(folder, compat, image):
    """The overlay that names IMAGE for the base's image, over the compatibility overlay."""
    repository, _, tag = image.rpartition(":")
    base_image, _ = image_names()
    (folder / "kustomization.yaml").write_text(json.dumps({
        "resources": [os.path.relpath(compat, folder)],
        "images": [{"name": base_image.rpartition(":")[0], "newName": repository, "newTag": tag}]}))


def deploy(work, readiness):
    compat = Path(tempfile.mkdtemp(dir=work))
    made = subprocess.run([str(SOURCE / "deploy/kubernetes-compat/make-overlay"), str(compat)],
                          capture_output=True, text=True)
    check(made.returncode == 0, f"the compatibility overlay is made for this cluster ({made.stderr.strip()})")
    base_image, loaded = image_names()
    check(base_image in loaded, f"the image the base names, {base_image}, is the one loaded ({loaded})")
    overlay = Path(tempfile.mkdtemp(dir=work))
    write_overlay(overlay, compat, base_image)
    applied_at = time.time()
    kubectl("apply", "-k", str(overlay))
    kinds = sorted(set(line.split("/")[0] for line in
                       kubectl("get", "deployment,service,networkpolicy,poddisruptionbudget,"
                               "horizontalpodautoscaler", "-o", "name").split()))
    check(len(kinds) == 5, f"the base's five objects are on the cluster ({kinds})")
    ready = await_event("the base's pods Ready", all_ready)
    for pod in sorted(ready, key=lambda p: p.ready_since):
        print(f"figure  pod {pod.name}: container running {pod.started - applied_at:.0f} s after the apply, "
              f"Ready {pod.ready_since - pod.started:.0f} s later", flush=True)
    last = max(pod.ready_since for pod in ready)
    print(f"figure  {REPLICAS} pods Ready {last - applied_at:.0f} s after the apply (times to the second)",
          flush=True)
    users, root_options = confinement(ready[0].container)
    check(users == {("10001 10001 10001 10001", "0000000000000000")},
          f"every process of a pod runs as user 10001 with no capability ({users})")
    check("ro" in root_options, f"its root file system is read-only ({root_options})")
    return compat, overlay


async def node_port_play(terminal, goal, flag, port):
    games = Games(terminal, goal)
    outcome = await games.play(asyncio.open_connection("127.0.0.1", port, limit=1 << 20))
    check(outcome == "played", f"a player walks to the flag through the node port on 127.0.0.1 ({outcome})")
    outcome = await games.play(connect_from_outside(player_address(0), port))
    check(outcome == "played", f"a player outside the node walks to the flag through {NODE_IP}:{port} ({outcome})")

    sessions = flag_sessions(goal, HELD_PLAYERS)
    expected = [reference_output(terminal, b"".join(lines)) for lines in sessions]
    addresses = [player_address(10 + player) for player in range(HELD_PLAYERS)]
    muster = Muster(HELD_PLAYERS)
    started = time.monotonic()
    players = asyncio.gather(*(walk_and_hold(connect_from_outside(address, port), lines[:-3], lines[-3:],
                                             muster.at_flag, muster.release)
                               for address, lines in zip(addresses, sessions)))
    try:
        await asyncio.wait_for(muster.everyone_there.wait(), EVENT_SECONDS)
        took = time.monotonic() - started
        now = pods()
        spread = {pod.name: terminals(pod.container) for pod in now}
        seen = sorted(address for pod in now for address in peers(pod.container))
    finally:
        muster.release.set()
    results = await players
    print(f"figure  {HELD_PLAYERS} players at the flag at once through the node port in {took:.1f} s, "
          f"games per pod: {sorted(spread.values())}", flush=True)
    check(len(spread) == REPLICAS and all(spread.values()),
          f"the players' games are spread over every pod ({spread})")
    mismatched = [n for n, (received, want) in enumerate(zip(results, expected)) if received != want]
    check(not mismatched and all(flag.encode() in received for received in results),
          f"every player read the flag and received exactly its own game (differing: {mismatched})")
    for player in mismatched[:3]:
        print(f"        player {player}: {first_difference(results[player], expected[player])}", flush=True)
    check(seen == sorted(addresses),
          f"with externalTrafficPolicy: Local the games see each player's own address ({seen[:5]} ...)")


async def seen_address(port, address):
    """The address a game in play sees for a player from ADDRESS outside the node."""
    reader, writer = await connect_from_outside(address, port)
    try:
        await reader.readuntil(b"---> ")
        return [seen for pod in pods() for seen in peers(pod.container)]
    finally:
        writer.close()


async def traffic_policy(port):
    """The address the game sees under each policy; kube-proxy takes a moment to change its rules."""
    player = player_address(200)
    found = {}
    for policy in ("Cluster", "Local"):
        kubectl("patch", "service", NAME, "-p", json.dumps({"spec": {"externalTrafficPolicy": policy}}))
        deadline = time.monotonic() + EVENT_SECONDS
        while True:
            seen = await seen_address(port, player)
            if (seen == [player]) == (policy == "Local") or time.monotonic() > deadline:
                break
            await asyncio.sleep(0.25)
        found[policy] = seen
        print(f"figure  externalTrafficPolicy: {policy}: a player from {player} is seen as {seen}", flush=True)
    check(found["Local"] == [player], "with Local the game sees the player's own address")
    check(len(found["Cluster"]) == 1 and found["Cluster"] != [player],
          "with Cluster it sees an address of the node instead, which the limit per address would count for all")


def pod_named(name):
    return next((pod for pod in pods() if pod.name == name), None)


async def liveness_restart(terminal, goal, port, readiness):
    victim = next(pod for pod in pods() if pod.ready)
    games = Games(terminal, goal)
    playing = Playing(games, port, 40)
    stopped_at = time.time()
    os.kill(listener(victim.container), signal.SIGSTOP)
    print(f"        the server of pod {victim.name} stopped (SIGSTOP to its socat)", flush=True)

    def restarted():
        pod = pod_named(victim.name)
        return pod if pod.restarts > victim.restarts else None

    await asyncio.to_thread(await_event, "the hung pod not Ready", lambda: not pod_named(victim.name).ready)
    not_ready_at = time.time()
    left_at = await asyncio.to_thread(await_event, "the hung pod out of the Service",
                                      lambda: readiness.left(victim.name, stopped_at))
    new = await asyncio.to_thread(await_event, "the hung pod restarted", restarted)
    restarted_at = time.time()
    back = await asyncio.to_thread(await_event, "the restarted pod Ready",
                                   lambda: (lambda pod: pod if pod.ready else None)(pod_named(victim.name)))
    back_at = time.time()
    await asyncio.to_thread(await_event, "the restarted pod back in the Service",
                            lambda: victim.name in readiness.listed)
    listed_at = time.time()
    after = Games(terminal, goal)
    for player in range(10):
        await after.play(connect_from_outside(player_address(30 + player), port))
    await playing.stop()
    print(f"figure  liveness: the hung pod not Ready after {not_ready_at - stopped_at:.0f} s, out of the "
          f"Service after {left_at - stopped_at:.0f} s, restarted after {restarted_at - stopped_at:.0f} s, "
          f"Ready again after {back_at - stopped_at:.0f} s", flush=True)
    report("a pod's server hung, left the Service and was restarted", games)
    late = games.lost_since(left_at)
    print(f"figure  liveness: games lost that started after the pod left the Service: {len(late)} {late}",
          flush=True)
    check(left_at < restarted_at, "a hung pod leaves the Service when its readiness probe fails, "
                                  "before its liveness probe has it restarted")
    check(new.restarts == victim.restarts + 1 and new.container != victim.container,
          "the liveness probe fails and the kubelet restarts the pod's container, once")
    check(back.ready and not container_processes(victim.container),
          "the restarted pod is Ready again and nothing of the hung container is left")
    check(not games.lost_since(listed_at) and after.outcomes == Counter(played=10),
          f"once the pod is back in the Service every game is played ({dict(after.outcomes)})")


async def rolling_update(terminal, goal, port, compat, overlay):
    before = pods()
    image = before[0].image
    repository, _, tag = image.rpartition(":")
    updated = f"{repository}:{tag}-update"
    subprocess.run(["ctr", "images", "tag", "--force", image, updated], check=True, capture_output=True)
    write_overlay(overlay, compat, updated)
    games = Games(terminal, goal)
    playing = Playing(games, port, 50)
    started = time.time()
    kubectl("apply", "-k", str(overlay))
    await asyncio.to_thread(kubectl, "rollout", "status", f"deployment/{NAME}", f"--timeout={EVENT_SECONDS}s")
    done = time.time()
    during = sum(games.outcomes.values())
    await asyncio.to_thread(await_event, "the old pods gone",
                            lambda: all(pod.image == updated and not pod.terminating for pod in pods()))
    after = Games(terminal, goal)
    for player in range(10):
        await after.play(connect_from_outside(player_address(60 + player), port))
    await playing.stop()
    print(f"figure  rolling update of {REPLICAS} pods in {done - started:.0f} s", flush=True)
    report("rolling update", games)
    now = pods()
    check(len(now) == REPLICAS and all(pod.image == updated and pod.ready for pod in now)
          and not {pod.name for pod in now} & {pod.name for pod in before},
          f"every pod was replaced by one of the new image, Ready ({[(p.name, p.image) for p in now]})")
    check(during > 0 and not games.silent_losses(),
          f"players played through the update and no game hung or was cut without a word "
          f"({games.silent_losses()})")
    check(after.outcomes == Counter(played=10), f"every game after the update is played ({dict(after.outcomes)})")


async def main(build, work):
    terminal, goal, flag = build_settings(build)
    readiness = Readiness()
    try:
        print("== the base applied", flush=True)
        compat, overlay = await asyncio.to_thread(deploy, work, readiness)
        port = node_port()
        print(f"== NodePort play on port {port}", flush=True)
        await node_port_play(terminal, goal, flag, port)
        print("== the client address", flush=True)
        await traffic_policy(port)
        print("== a liveness restart", flush=True)
        await liveness_restart(terminal, goal, port, readiness)
        print("== a rolling update", flush=True)
        await rolling_update(terminal, goal, port, compat, overlay)
    finally:
        readiness.stop()
    early = readiness.early_entries()
    check(readiness.entries and not early,
          f"through every event, the Service listed a pod only once it was Ready "
          f"({len(readiness.entries)} entries into the Service watched; early: {early})")


def out_of_time(*_):
    raise TimeoutError(f"the cluster test ran past {TEST_SECONDS} s")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(TEST_SECONDS)
    with tempfile.TemporaryDirectory() as work_dir:
        asyncio.run(main(Path(sys.argv[1]).resolve(), Path(work_dir)))
    finish()
