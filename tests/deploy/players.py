"""A player of the served terminal on 127.0.0.1, as the deploy tests play
one: every wait for an answer is bounded."""
import asyncio
import socket
import struct

STEP_SECONDS = 60  # the longest any one answer may take
EXIT = b"exit"
FULL = b"kestiv's terminal is full just now: all its games are being played. Try again in a few minutes.\r\n"


async def connect(port):
    return await asyncio.open_connection("127.0.0.1", port, limit=1 << 20)


async def read_until(reader, marker):
    return await asyncio.wait_for(reader.readuntil(marker), STEP_SECONDS)


async def read_to_end(reader, seconds=STEP_SECONDS):
    return await asyncio.wait_for(reader.read(), seconds)


def reset(writer):
    """Drops the connection at once with a reset, as a player's crashing machine might."""
    sock = writer.get_extra_info("socket")
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    writer.transport.abort()
