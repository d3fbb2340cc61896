"""Players who do not play by the book, for the load test: the silent, the
ones who paste a whole script, the ones who drop mid-game, one who floods an
endless line, and one whose game runs past its time. Each phase checks that
the game treats them as it should and leaves no process behind."""
import asyncio
import socket
import time

import served
from checks import check
from players import (EXIT, STEP_SECONDS, connect, first_place, idle_ending, loopback_address, read_to_end, read_until,
                     reset)
from sessions import NC_LINE_END, PROMPT, as_typed, opening_output, reference_output, walk_to_goal


async def idle_phase(server, terminal, idle_seconds):
    """Players who say nothing after the first prompt are cut at the idle limit."""
    opening = opening_output(terminal)

    async def silent_player(player):
        reader, writer = await connect(server.port, loopback_address(player, 1))
        received = await read_until(reader, PROMPT)
        silent_since = time.monotonic()
        received += await read_to_end(reader, idle_seconds + STEP_SECONDS)
        writer.close()
        return received, time.monotonic() - silent_since

    results = await asyncio.gather(*(silent_player(player) for player in range(5)))
    check(all(received == opening + idle_ending(idle_seconds) for received, _ in results),
          "silent players got the opening, then the reason they were cut")
    cut_after = [round(seconds, 1) for _, seconds in results]
    check(all(idle_seconds - 0.5 <= seconds <= idle_seconds + 5 for seconds in cut_after),
          f"silent players were cut at the idle limit of {idle_seconds} s (after {cut_after} s)")
    left = served.wait_for_no_games(server, 10)
    check(not left, f"the silent players' games left no process (left: {left})")


async def paste_phase(server, terminal, goal):
    """A player who pastes a long script at once, thousands of commands, and
    reads the answers as they come, gets every answer."""
    typed = as_typed(walk_to_goal(goal, 0)[:-1] + [b"dir"] * 3000 + [b"cd", EXIT], NC_LINE_END)
    reader, writer = await connect(server.port)
    writer.write(typed)
    received = await read_to_end(reader)
    writer.close()
    expected = reference_output(terminal, typed)
    check(received == expected, f"a player who pastes {len(typed) >> 10} KiB of commands at once gets all "
                                f"{len(expected) >> 10} KiB of answers, exactly")


async def drop_phase(server, terminal):
    """Players who leave mid-game, in every way a connection can end."""
    # Each kind of player from an address of its own: three at once from one.
    async def reset_at_prompt():
        reader, writer = await connect(server.port, "127.0.0.2")
        await read_until(reader, PROMPT)
        writer.write(b"dir\n")
        await read_until(reader, PROMPT)
        reset(writer)

    async def gone_while_output_waits():
        reader, writer = await connect(server.port, "127.0.0.3")
        await read_until(reader, PROMPT)
        writer.write(b"type README.txt\n" * 2000)
        await asyncio.sleep(0.5)
        reset(writer)

    async def closed_without_reading():
        _, writer = await connect(server.port, "127.0.0.4")
        writer.write(b"dir\n" * 5000)
        writer.close()

    async def half_closed():
        reader, writer = await connect(server.port)
        writer.write(b"dir\n")
        writer.write_eof()
        return await read_to_end(reader, 10)

    await asyncio.gather(*(reset_at_prompt() for _ in range(3)), *(gone_while_output_waits() for _ in range(3)),
                         *(closed_without_reading() for _ in range(3)))
    left = served.wait_for_no_games(server, 10)
    check(not left, f"players who dropped mid-game left no process (left: {left})")

    received = await half_closed()
    check(received == reference_output(terminal, b"dir\n"),
          "a player who ends input still gets the answers to what was sent, then the game ends")
    left = served.wait_for_no_games(server, 10)
    check(not left, f"a game whose input ended left no process (left: {left})")


def flood(port):
    """Sends one line of 512 MiB, never ended; the bytes sent before the
    connection broke."""
    chunk = b"a" * (1 << 20)
    sent = 0
    with socket.create_connection(("127.0.0.1", port), timeout=STEP_SECONDS) as sock:
        try:
            while sent < 512 << 20:
                sock.sendall(chunk)
                sent += len(chunk)
        except OSError:
            pass
    return sent


def flood_phase(server, memory_mib):
    started = time.monotonic()
    sent = flood(server.port)
    left = served.wait_for_no_games(server, 10)
    check(sent < 512 << 20, f"a game flooded with a line without end was stopped at the memory cap "
                            f"of {memory_mib} MiB (after {sent >> 20} MiB, {time.monotonic() - started:.1f} s)")
    check(not left, f"the flooded game left no process (left: {left})")
    check(b"bad_alloc" in server.log.read_bytes(), "the server's log tells that the game ran out of memory")


async def time_limit_phase(server, terminal, seconds):
    """A game that goes on past the limit is ended with a message; the
    player waiting for its seat then gets it, on the same connection."""
    reader, writer = await connect(server.port)
    received = bytearray(await read_until(reader, PROMPT))
    started = time.monotonic()

    async def keep_playing():
        while True:
            writer.write(b"dir\n")
            await asyncio.sleep(0.5)

    playing = asyncio.ensure_future(keep_playing())
    waiting_reader, waiting_writer = await connect(server.port, "127.0.0.2")
    told = await read_until(waiting_reader, b"\r\n")
    try:
        received += await read_to_end(reader, seconds + STEP_SECONDS)
    finally:
        playing.cancel()
    took = time.monotonic() - started
    writer.close()
    check(told == first_place(1), f"with the only game taken, a second player waits first in line (got {told!r})")
    ending = f"\x1b[0m\r\n\r\nTime is up: a game lasts at most {seconds} seconds.\r\n".encode()
    check(received.endswith(ending), f"a game past the limit ends with the message (ends {bytes(received[-90:])!r})")
    check(seconds - 0.5 <= took <= seconds + 5, f"the game ended at the limit of {seconds} s (after {took:.1f} s)")
    check(await read_until(waiting_reader, PROMPT) == opening_output(terminal),
          "the seat goes to the player who waited, on the same connection")
    waiting_writer.close()
    check(not served.wait_for_no_games(server, 10), "the ended games left no process")
