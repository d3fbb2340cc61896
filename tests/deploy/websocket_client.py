"""A WebSocket client in a few lines of RFC 6455, as a page plays the served
terminal through its bridge: the player's bytes in binary messages, the
game's bytes read as they come, until the server closes."""
import asyncio
import base64
import os
import struct

from checks import check
from players import BRIDGE_END, EXIT, STEP_SECONDS
from sessions import reference_output

OTHER_SITE = "https://elsewhere.example.net"
REFUSED = b"HTTP/1.1 403 Forbidden"


async def open_game(host, port, origin, client_address="127.0.0.1"):
    """Connects and upgrades; returns (reader, writer), or the HTTP status
    line when the server refuses the upgrade."""
    reader, writer = await asyncio.open_connection(host, port, local_addr=(client_address, 0), limit=1 << 20)
    return await upgrade(reader, writer, host, port, origin)


async def upgrade(reader, writer, host, port, origin):
    """Upgrades an open connection to a WebSocket as a page of the origin
    would; returns (reader, writer), or the HTTP status line when the server
    refuses."""
    key = base64.b64encode(os.urandom(16)).decode()
    writer.write((f"GET / HTTP/1.1\r\nHost: {host}:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\nOrigin: {origin}\r\n\r\n").encode())
    head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), STEP_SECONDS)
    status = head.split(b"\r\n", 1)[0]
    if b" 101 " not in status:
        writer.close()
        return status
    return reader, writer


def send(writer, payload):
    """One binary message, masked as a client's must be."""
    mask = os.urandom(4)
    length = len(payload)
    header = bytes([0x82]) + (bytes([0x80 | length]) if length < 126 else
                              bytes([0x80 | 126]) + struct.pack("!H", length) if length < 1 << 16 else
                              bytes([0x80 | 127]) + struct.pack("!Q", length))
    writer.write(header + mask + bytes(byte ^ mask[i % 4] for i, byte in enumerate(payload)))


async def receive_until(reader, done, seconds=STEP_SECONDS):
    """The payloads of the messages received until done(received) holds or
    the server closes."""
    received = bytearray()

    async def frames():
        while not done(bytes(received)):
            first, second = await reader.readexactly(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack("!H", await reader.readexactly(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", await reader.readexactly(8))[0]
            payload = await reader.readexactly(length)
            if first & 0x0F == 0x8:  # close
                return
            if first & 0x0F in (0x0, 0x1, 0x2):
                received.extend(payload)

    try:
        await asyncio.wait_for(frames(), seconds)
    except asyncio.IncompleteReadError:
        pass
    return bytes(received)


async def check_site_alone(connect, host, port, origin, terminal, where):
    """A page of the origin plays a game to its exit through the bridge
    (connect() opens a connection to it) and gets exactly the game's output;
    a page of another site is refused. `where` names the bridge in the
    checks."""
    reader, writer = await upgrade(*await connect(), host, port, origin)
    send(writer, EXIT + b"\n")
    received = await receive_until(reader, lambda _: False)
    writer.close()
    check(received == reference_output(terminal, EXIT + b"\n") + BRIDGE_END,
          f"a page of the site plays through {where} and gets exactly the game's output, then the end mark "
          f"(ends {received[-40:]!r})")
    refused = await upgrade(*await connect(), host, port, OTHER_SITE)
    check(refused == REFUSED, f"a page of another site is refused by {where} ({refused!r})")
