"""The served terminal under test, on 127.0.0.1 only, by either recipe of
deploy/: serve-with-socat as it is, or the seat keeper of
kestiv-terminal-keeper.service with the command of kestiv-terminal@.service
run for every connection by systemd-socket-activate the way systemd runs
them (the connection as standard input and output, the units' environment,
the runtime folder). Every process the server starts carries a tag in its
environment, so a game's processes are found wherever they end up, even
orphaned."""
import os
import resource
import shlex
import signal
import socket
import subprocess
import time
import uuid
from dataclasses import dataclass
from pathlib import Path

DEPLOY = Path(__file__).resolve().parents[2] / "deploy"
INSTALLED = "/usr/local/lib/kestiv-terminal/"
TAG_VARIABLE = "SERVED_TEST_TAG"
RECIPES = ("socat", "systemd")


@dataclass
class Server:
    process: subprocess.Popen
    port: int
    tag: bytes
    log: Path
    listener: int = 0  # the process that accepts connections and starts a game for each
    keeper: subprocess.Popen = None  # systemd's recipe: the keeper's own unit


def unit_service(unit="kestiv-terminal@.service"):
    """The ExecStart command and the Environment of a service unit."""
    command, environment = None, {}
    for line in (DEPLOY / unit).read_text().splitlines():
        key, _, value = line.partition("=")
        if key == "ExecStart":
            command = shlex.split(value)
        elif key == "Environment":
            environment.update(item.split("=", 1) for item in shlex.split(value))
    return command, environment


def installed(word, terminal):
    """A word of a unit's command with the installed programs' paths made this build's."""
    return (word.replace(INSTALLED + "kestiv-game", str(DEPLOY / "kestiv-game"))
                .replace(INSTALLED + "kestiv-seat", str(Path(terminal).parent / "kestiv-seat"))
                .replace(INSTALLED + "kestiv-terminal", str(terminal)))


def _start_keeper(terminal, environment, settings, seats, log):
    """The keeper's unit as systemd runs it, its runtime folder the games' own;
    returns once it listens, which it logs."""
    exec_start, unit_environment = unit_service("kestiv-terminal-keeper.service")
    exec_start = [installed(word, terminal) for word in exec_start]
    with open(log, "ab") as log_file:
        keeper = subprocess.Popen(exec_start, env=dict(environment, **unit_environment, **settings,
                                                       RUNTIME_DIRECTORY=str(seats)),
                                  stdin=subprocess.DEVNULL, stdout=log_file, stderr=log_file,
                                  start_new_session=True)
    deadline = time.monotonic() + 10
    while b"kestiv-seat: keeping seats at" not in log.read_bytes():
        if keeper.poll() is not None or time.monotonic() > deadline:
            keeper.kill()
            raise RuntimeError(f"the keeper did not start: {log.read_text()}")
        time.sleep(0.05)
    return keeper


# Ports free_port has given: the kernel may offer a port again as soon as its
# probe is closed, before whoever asked for it listens there.
_given_ports = set()


def free_port():
    """A port nothing listens on, never one this process was given before."""
    while True:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if port not in _given_ports:
            _given_ports.add(port)
            return port


def listening(port):
    """Whether anything listens on the port, over IPv4 or IPv6."""
    for table_path in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table_path) as table:
            if any(fields[1].endswith(f":{port:04X}") and fields[3] == "0A"
                   for fields in (line.split() for line in table)):
                return True
    return False


def start(recipe, terminal, work, games, game_seconds, game_memory, idle_seconds, more_settings=None,
          listen="127.0.0.1", port=None, preexec_fn=None):
    """Starts a server by the recipe and returns once it listens (and, with
    socat, has said so) on the address (127.0.0.1, ::1, or "" for every
    address) and the port (a free one when not given); more_settings are
    further settings of the server's environment; preexec_fn runs in the
    server's process before it starts."""
    port = port or free_port()
    tag = uuid.uuid4().hex
    seats = Path(work) / f"seats-{tag}"
    log = Path(work) / f"server-{recipe}-{port}.log"
    settings = {"KESTIV_GAMES": str(games), "KESTIV_GAME_SECONDS": str(game_seconds),
                "KESTIV_GAME_MEMORY": str(game_memory), "KESTIV_IDLE_SECONDS": str(idle_seconds),
                **(more_settings or {})}
    environment = dict(os.environ, **{TAG_VARIABLE: tag})
    if recipe == "socat":
        address = {"127.0.0.1": f"127.0.0.1:{port}", "::1": f"[::1]:{port}", "": str(port)}[listen]
        command = [str(DEPLOY / "serve-with-socat"), address, str(terminal)]
        # Nothing of the server's may land in the temporary folder.
        environment.update(settings, TMPDIR=str(work))
        keeper = None
    else:
        seats.mkdir(mode=0o700)
        keeper = _start_keeper(terminal, environment, settings, seats, log)
        exec_start, unit_environment = unit_service()
        exec_start = [installed(word, terminal) for word in exec_start]
        unit_environment.update(PATH=os.environ["PATH"], RUNTIME_DIRECTORY=str(seats), **{TAG_VARIABLE: tag})
        address = {"127.0.0.1": f"127.0.0.1:{port}", "::1": f"[::1]:{port}", "": str(port)}[listen]
        command = ["systemd-socket-activate", f"--listen={address}", "--accept", "--inetd",
                   *(f"--setenv={name}={value}" for name, value in unit_environment.items()),
                   "--", *exec_start]
    said_before = log.stat().st_size if log.exists() else 0
    with open(log, "ab") as log_file:
        process = subprocess.Popen(command, env=environment, stdin=subprocess.DEVNULL,
                                   stdout=log_file, stderr=log_file, start_new_session=True,
                                   preexec_fn=preexec_fn)
    server = Server(process, port, f"{TAG_VARIABLE}={tag}".encode(), log, keeper=keeper)
    # serve-with-socat's one line says every listener of it is up (its bridge
    # too); the bare listening socket says so of systemd's.
    announced = (lambda: b"\n" in log.read_bytes()[said_before:]) if recipe == "socat" else (lambda: True)
    deadline = time.monotonic() + 60
    while not (listening(port) and announced()):
        if process.poll() is not None or time.monotonic() > deadline:
            stop(server)
            raise RuntimeError(f"the {recipe} server did not start listening: {log.read_text()}")
        time.sleep(0.05)
    # serve-with-socat runs socat under a keeper of its seats folder.
    server.listener = next((pid for pid, _, parent, variables in _processes()
                            if parent == process.pid and server.tag in variables), process.pid)
    return server


def _stat_fields(pid):
    """The fields of /proc/PID/stat after the command name, which may hold
    spaces and parentheses: the state first."""
    with open(f"/proc/{pid}/stat", "rb") as stat:
        return stat.read().rsplit(b")", 1)[1].split()


def _processes():
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                after_name = _stat_fields(entry)
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    variables = environ.read().split(b"\0")
            except OSError:  # gone meanwhile
                continue
            yield int(entry), after_name[0].decode(), int(after_name[1]), variables


def game_processes(server):
    """The pids of the processes the server started that are still there,
    zombies it has not reaped included; the server's own process aside."""
    main = server.listener
    keeper = server.keeper.pid if server.keeper else None
    return [pid for pid, state, parent, variables in _processes()
            if pid not in (main, server.process.pid, keeper) and (server.tag in variables or (parent == main and state == "Z"))]


def games_in_play(server):
    """How many of the server's terminals run: by the name they were run by,
    which a terminal run from the server's copy keeps too."""
    count = 0
    for pid in game_processes(server):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                count += Path(cmdline.read().split(b"\0")[0].decode()).name == "kestiv-terminal"
        except OSError:
            continue
    return count


def describe(pids):
    """Each process's pid, state and command line, for a report."""
    described = []
    for pid in pids:
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                command = cmdline.read().replace(b"\0", b" ").decode(errors="replace").strip()
            described.append(f"{pid} {_stat_fields(pid)[0].decode()} {command}")
        except OSError:
            described.append(f"{pid} gone")
    return described


def wait_for_no_games(server, seconds):
    """The processes left after waiting up to seconds for all to end."""
    deadline = time.monotonic() + seconds
    while (left := game_processes(server)) and time.monotonic() < deadline:
        time.sleep(0.1)
    return left


def wait_for_log(server, parts, seconds=60):
    """The server's log once it holds every one of parts (bytes), or as it is
    after waiting up to seconds: the keeper may log a connection's fate a
    little after the connection's process has ended."""
    deadline = time.monotonic() + seconds
    while not all(part in (log := server.log.read_bytes()) for part in parts) and time.monotonic() < deadline:
        time.sleep(0.1)
    return log


def memory_of(pid):
    """Peak resident and proportional set size of a process, in KiB, and its name."""
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status)
    with open(f"/proc/{pid}/smaps_rollup") as rollup:
        pss = next(int(line.split()[1]) for line in rollup if line.startswith("Pss:"))
    return fields["Name"].strip(), int(fields["VmHWM"].split()[0]), pss


def cpu_seconds_by_command(pids):
    """CPU time, user and system, of the live processes, summed by command
    name (a process that replaced its program is counted under the last)."""
    by_command = {}
    for pid in pids:
        try:
            fields = _stat_fields(pid)
            with open(f"/proc/{pid}/comm") as comm:
                name = comm.read().strip()
        except OSError:
            continue
        by_command[name] = by_command.get(name, 0) + (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return by_command


def cpu_seconds_with_reaped(pid):
    """CPU time, user and system, of a live process and of the children it
    has reaped."""
    return sum(int(field) for field in _stat_fields(pid)[11:15]) / os.sysconf("SC_CLK_TCK")


def cpu_seconds_of_live(pids):
    """CPU time of the live processes, summed to the nanosecond: /proc's
    ticks count each process of a few milliseconds as none."""
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/schedstat") as schedstat:
                total += int(schedstat.read().split()[0])
        except OSError:  # gone meanwhile
            continue
    return total / 1e9


def games_cpu_seconds(server):
    """CPU time, user and system, of every game ended so far: the listener
    reaps each game's first process, kestiv-seat within it every other, and
    this process, when it is their subreaper, the orphans of the listener."""
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            break
        if pid == 0:
            break
    fields = _stat_fields(server.listener)
    orphans = resource.getrusage(resource.RUSAGE_CHILDREN)
    return ((int(fields[13]) + int(fields[14])) / os.sysconf("SC_CLK_TCK") + orphans.ru_utime + orphans.ru_stime)


def stop(server):
    """Ends the server and, should any be left, its games."""
    for process in filter(None, (server.process, server.keeper)):
        for signal_number, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
            try:
                os.killpg(process.pid, signal_number)
            except ProcessLookupError:
                pass
            try:
                process.wait(grace)
                break
            except subprocess.TimeoutExpired:
                continue
    for pid in game_processes(server):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
