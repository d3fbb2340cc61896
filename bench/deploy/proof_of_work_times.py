#!/usr/bin/env python3
"""Median time of the one-line python3 command that kestiv-seat gives a
player to solve its proof of work, for a few sizes, each on fresh random
challenges: the command is taken from kestiv-seat's own challenge, as a
player would copy it.

usage: proof_of_work_times.py KESTIV_SEAT [BITS...]   (16 20 22 24 by default)
"""
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SAMPLES = 5


def challenge_command(seat, terminal, bits):
    """Starts a server asking for the bits and returns the command its challenge gives."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    environment = dict(os.environ, KESTIV_POW_BITS=str(bits), KESTIV_POW_SECONDS="3600")
    server = subprocess.Popen([seat, "--serve", f"127.0.0.1:{port}", terminal], env=environment,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        server.stdout.readline()  # it listens
        with socket.create_connection(("127.0.0.1", port), timeout=30) as player:
            told = b""
            while told.count(b"\r\n") < 2:
                told += player.recv(4096)
        return told.split(b"\r\n")[1].decode()
    finally:
        server.terminate()
        server.wait()


def main(seat, bits_list):
    terminal = str(Path(seat).with_name("kestiv-terminal"))
    for bits in bits_list:
        times = []
        for _ in range(SAMPLES):
            command = challenge_command(seat, terminal, bits)
            assert re.match(r"python3 -c '", command), command
            started = time.monotonic()
            subprocess.run(command, shell=True, check=True, capture_output=True)
            times.append(time.monotonic() - started)
        print(f"figure  proof of work of {bits} bits: the command solves it in {statistics.median(times):.2f} s "
              f"median ({min(times):.2f} to {max(times):.2f} s, {SAMPLES} challenges)", flush=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1], [int(bits) for bits in sys.argv[2:]] or [16, 20, 22, 24])
