"""A player of the served terminal on 127.0.0.1, as the deploy tests play
one: every wait for an answer is bounded."""
import asyncio
import ctypes
import os
import socket
import struct

STEP_SECONDS = 60  # the longest any one answer may take
CLONE_NEWNET = 0x40000000
libc = ctypes.CDLL(None, use_errno=True)
EXIT = b"exit"
LINE_FULL = (b"kestiv's terminal is playing every game it can and its line is full. Try again in a few "
             b"minutes.\r\n")
SHUTDOWN_LINE = b"The server is shutting down: the game is over.\r\n"
SHUTDOWN_ENDING = b"\x1b[0m\r\n\r\nThe server is shutting down: the game is over.\r\n"
CANNOT_START = b"kestiv's terminal cannot start a game just now. Try again later.\r\n"
# What a page reads last through the browser bridge when the server ends the
# connection, where websocketd ends it without a closing handshake.
BRIDGE_END = b"\x1b_kestiv-end\x1b\\"


def address_full(per_address):
    return (f"kestiv's terminal plays at most {per_address} games at once with one address, and yours has "
            f"them all. Try again when one is over.\r\n").encode()


def first_place(place):
    """What a player beyond the seats is told at once."""
    return (f"kestiv's terminal is playing every game it can: you are number {place} in line. Stay "
            f"connected: your game starts here when a seat frees.\r\n").encode()


def new_place(place):
    return f"You are now number {place} in line.\r\n".encode()


def network_full(per_address, network):
    return (f"kestiv's terminal plays at most {per_address} games at once with one network, counting "
            f"players waiting, and yours ({network}) has them all. Try again when one is over.\r\n").encode()


def duration(seconds):
    """A duration as the server's messages name it."""
    if seconds % 60 == 0:
        return f"{seconds // 60} minute" + ("s" if seconds != 60 else "")
    return f"{seconds} second" + ("s" if seconds != 1 else "")


def idle_ending(seconds):
    limit = duration(seconds)
    return f"\x1b[0m\r\n\r\nNo input for {limit}: the game is over.\r\n".encode()


async def connect(port, client_address="127.0.0.1", server_address="127.0.0.1"):
    """Connects from the client address, one of the loopback addresses (127.0.0.2, ...)."""
    return await asyncio.open_connection(server_address, port, limit=1 << 20, local_addr=(client_address, 0))


async def connect_inside(netns, port, client_address):
    """Connects to 127.0.0.1:port from a loopback address inside another
    network namespace (netns, a path to it), as a player with an address of
    its own where the server listens: the socket is made there, then used here."""
    sock = socket_inside(netns)
    sock.setblocking(False)
    sock.bind((client_address, 0))
    await asyncio.get_running_loop().sock_connect(sock, ("127.0.0.1", port))
    return await asyncio.open_connection(sock=sock, limit=1 << 20)


def socket_inside(netns):
    """A TCP socket made inside another network namespace (netns, a path to
    it), for use here."""
    own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    other = os.open(netns, os.O_RDONLY)
    try:
        if libc.setns(other, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), f"cannot enter the network namespace {netns}")
        try:
            sock = socket.socket()
        finally:
            if libc.setns(own, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "cannot come back to this network namespace")
    finally:
        os.close(own)
        os.close(other)
    return sock


def loopback_address(player, per_address):
    """A client address of its own for every per_address players, each in a
    /24 network of its own: 127.0.2.1, 127.0.3.1, ..."""
    number = 2 + player // per_address
    return f"127.{number >> 8}.{number & 255}.1"


async def read_until(reader, marker):
    return await asyncio.wait_for(reader.readuntil(marker), STEP_SECONDS)


async def read_to_end(reader, seconds=STEP_SECONDS):
    return await asyncio.wait_for(reader.read(), seconds)


def reset(writer):
    """Drops the connection at once with a reset, as a player's crashing machine might."""
    sock = writer.get_extra_info("socket")
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    writer.transport.abort()


class ReconnectingScripts:
    """Scripts that play each game to its end and reconnect the instant it
    ends, as contest scripts do, until stopped; they count the games they got."""

    def __init__(self, port, addresses, per_address, game_seconds):
        self.stop = asyncio.Event()
        self.games = 0
        self.tasks = [asyncio.create_task(self._play(port, address, game_seconds))
                      for address in addresses for _ in range(per_address)]

    async def _play(self, port, address, game_seconds):
        while not self.stop.is_set():
            reader, writer = await connect(port, address)
            received = await read_to_end(reader, game_seconds + STEP_SECONDS)
            writer.close()
            self.games += b"\x1b[32mkestiv's terminal ---> " in received

    async def finish(self):
        self.stop.set()
        await asyncio.gather(*self.tasks)
