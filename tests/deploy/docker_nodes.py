"""Docker engines from Debian's packages (docker.io, containerd), each in
network, mount, UTS and process namespaces of its own, as nodes of one swarm
on a bridge made for them. Everything they keep is in a private folder, their
sockets too; their own sysfs, cgroup, /run, /etc/docker and /var/lib/docker
mounts keep the machine's untouched; their containers' cgroups sit under a
parent of their own. Stopping a node ends its engine, the namespace's first
process, and with it every process of the namespace.

The nodes' bridge lives in a network namespace of its own, the switch, held
by a process that ends with the test; each node is linked to it by a veth
pair, whose switch end cut() takes down. Should the test die, every engine
is killed with it."""
import ctypes
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import uuid
from pathlib import Path

PR_SET_PDEATHSIG = 1
libc = ctypes.CDLL(None, use_errno=True)

DOCKER = "/usr/bin/docker"   # Debian's client, whatever else is on the PATH
SUBNET = "10.253.0"          # the nodes' bridge, inside their own namespaces only
START_SECONDS = 120          # the longest an engine may take to answer
FIXED_FOLDERS = (Path("/etc/docker"), Path("/var/lib/docker"))  # covered by mounts of the node's own

# Runs as the namespaces' first process: mounts what the engine must see of
# its own namespaces, then becomes the engine.
NODE_SCRIPT = r"""
set -eu
folder=$1 name=$2 parent=$3
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t tmpfs -o mode=755 cgroup /sys/fs/cgroup
while read -r source target type options _; do
    case $type in
    cgroup) ;;
    cgroup2) ;;
    *) continue ;;
    esac
    mkdir -p "$target"
    mount -t "$type" -o "$options" "$source" "$target"
done < "$folder/cgroup-mounts"
# The engine writes to a few fixed paths whatever its roots; the test made
# any of these folders that was missing and removes it again.
for private in /run /etc/docker /var/lib/docker; do
    mount -t tmpfs -o mode=755 tmpfs "$private"
done
hostname "$name"
ip link set lo up
exec dockerd --config-file "$folder/daemon.json"
"""


class Node:
    def __init__(self, nodes, index):
        self.name = f"node{index + 1}"
        self.folder = nodes.folder / self.name
        self.address = f"{SUBNET}.{index + 1}"
        self.socket = self.folder / "docker.sock"
        self.cgroup_parent = f"/{nodes.folder.name}-{self.name}"
        self.process = None
        self.engine_pid = None
        self.bridge_end = f"kb{index + 1}"   # this node's port on the switch

    def docker(self, *arguments, check=True, timeout=300, stdin=None):
        return subprocess.run([DOCKER, "-H", f"unix://{self.socket}", *arguments], check=check, text=True,
                              capture_output=True, timeout=timeout, input=stdin)

    def netns(self):
        return f"/proc/{self.engine_pid}/ns/net"

    def ip(self, *arguments):
        ip_in(self.netns(), *arguments)


def ip_in(netns, *arguments):
    subprocess.run(["nsenter", f"--net={netns}", "ip", *arguments], check=True, capture_output=True)


def die_with_parent():
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


class Nodes:
    """count engines, started, on one bridge; close() stops them all."""

    def __init__(self, count):
        self.folder = Path(tempfile.mkdtemp(prefix="kestiv-engine."))
        self.made = [folder for folder in FIXED_FOLDERS if not folder.exists()]
        for folder in self.made:
            folder.mkdir(parents=True)
        self.nodes = [Node(self, index) for index in range(count)]
        self.switch = None
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def _start(self):
        mounts = [line for line in Path("/proc/self/mounts").read_text().splitlines()
                  if line.split()[2] in ("cgroup", "cgroup2")]
        for node in self.nodes:
            node.folder.mkdir()
            (node.folder / "cgroup-mounts").write_text("\n".join(mounts) + "\n")
            (node.folder / "daemon.json").write_text(json.dumps({
                "data-root": str(node.folder / "data"), "exec-root": str(node.folder / "exec"),
                "pidfile": str(node.folder / "dockerd.pid"), "hosts": [f"unix://{node.socket}"],
                "exec-opts": ["native.cgroupdriver=cgroupfs"], "storage-driver": "overlay2",
                "cgroup-parent": node.cgroup_parent, "log-level": "warn"}))
            log = open(node.folder / "engine.log", "wb")
            node.process = subprocess.Popen(
                ["unshare", "--net", "--mount", "--uts", "--pid", "--fork", "--kill-child",
                 "sh", "-c", NODE_SCRIPT, "node", str(node.folder), node.name, node.cgroup_parent],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
                preexec_fn=die_with_parent)
        for node in self.nodes:
            node.engine_pid = self._first_process(node)
        # The switch's process reads until the test closes its input; no
        # engine's firewall stands between its ports.
        self.switch = subprocess.Popen(["unshare", "--net", "cat"], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, preexec_fn=die_with_parent)
        switch = f"/proc/{self.switch.pid}/ns/net"
        deadline = time.monotonic() + START_SECONDS
        while os.readlink(switch) == os.readlink("/proc/self/ns/net"):
            if time.monotonic() > deadline:
                raise RuntimeError("the switch's namespace was not made")
            time.sleep(0.05)
        ip_in(switch, "link", "add", "kbr0", "type", "bridge")
        ip_in(switch, "link", "set", "kbr0", "up")
        for node in self.nodes:
            link = f"kv{uuid.uuid4().hex[:8]}"
            subprocess.run(["ip", "link", "add", node.bridge_end, "netns", str(self.switch.pid), "type", "veth",
                            "peer", "name", link, "netns", str(node.engine_pid)], check=True, capture_output=True)
            ip_in(switch, "link", "set", node.bridge_end, "master", "kbr0", "up")
            node.ip("link", "set", link, "name", "eth0")
            node.ip("addr", "add", f"{node.address}/24", "dev", "eth0")
            node.ip("link", "set", "eth0", "up")
        for node in self.nodes:
            self._wait_for_engine(node)

    @staticmethod
    def _first_process(node):
        """The host's pid of the namespace's first process, the engine to be."""
        deadline = time.monotonic() + START_SECONDS
        while time.monotonic() < deadline:
            for child in Path(f"/proc/{node.process.pid}/task/{node.process.pid}/children").read_text().split():
                return int(child)
            if node.process.poll() is not None:
                raise RuntimeError(f"{node.name} did not start: {(node.folder / 'engine.log').read_text()}")
            time.sleep(0.05)
        raise RuntimeError(f"{node.name} did not start within {START_SECONDS} s")

    @staticmethod
    def _wait_for_engine(node):
        deadline = time.monotonic() + START_SECONDS
        while node.docker("version", check=False, timeout=30).returncode != 0:
            if node.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"the engine of {node.name} did not answer: "
                                   f"{(node.folder / 'engine.log').read_text()[-3000:]}")
            time.sleep(0.1)

    def form_swarm(self):
        """The first node initialises the swarm; the others join as workers."""
        manager = self.nodes[0]
        manager.docker("swarm", "init", "--advertise-addr", manager.address, "--listen-addr",
                       f"{manager.address}:2377")
        token = manager.docker("swarm", "join-token", "--quiet", "worker").stdout.strip()
        for node in self.nodes[1:]:
            node.docker("swarm", "join", "--advertise-addr", node.address, "--token", token,
                        f"{manager.address}:2377")

    def cut(self, node):
        """Takes the node's link to the switch down: it can reach nobody, nobody it."""
        ip_in(f"/proc/{self.switch.pid}/ns/net", "link", "set", node.bridge_end, "down")

    def pid_in_host(self, node, pid):
        """The host's pid of the process numbered pid in the node's namespace."""
        namespace = os.readlink(f"/proc/{node.engine_pid}/ns/pid")
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                numbers = next(line for line in Path(f"/proc/{entry}/status").read_text().splitlines()
                               if line.startswith("NSpid:")).split()[1:]
                if len(numbers) >= 2 and int(numbers[1]) == pid and \
                        self._in_namespace_of(int(entry), namespace):
                    return int(entry)
            except (OSError, StopIteration):
                continue
        raise RuntimeError(f"no process {pid} in {node.name}")

    @staticmethod
    def _in_namespace_of(pid, namespace):
        """Whether the process is in the namespace or one made inside it: its
        ancestors lead to the namespace's first process."""
        while pid > 1:
            if os.readlink(f"/proc/{pid}/ns/pid") == namespace:
                return True
            pid = int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1])
        return False

    def close(self):
        """Stops every engine, waits for its namespaces' processes to end,
        removes the containers' cgroups and the private folder."""
        for node in self.nodes:
            if node.engine_pid:
                try:
                    os.kill(node.engine_pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for node in self.nodes:
            if node.process is None:
                continue
            try:
                node.process.wait(30)
            except subprocess.TimeoutExpired:
                # The namespace's first process killed, the kernel kills the rest.
                if node.engine_pid:
                    os.kill(node.engine_pid, signal.SIGKILL)
                node.process.kill()
                node.process.wait(30)
        if self.switch is not None:
            self.switch.stdin.close()
            self.switch.wait(30)
        for node in self.nodes:
            for hierarchy in Path("/sys/fs/cgroup").iterdir():
                parent = hierarchy / node.cgroup_parent.lstrip("/")
                if parent.is_dir():
                    for folder in sorted(parent.rglob("*"), key=lambda path: len(path.parts), reverse=True):
                        if folder.is_dir():
                            folder.rmdir()
                    parent.rmdir()
        shutil.rmtree(self.folder, ignore_errors=True)
        for folder in reversed(self.made):
            folder.rmdir()
