#!/usr/bin/env python3
"""The container's environment in deploy/kubernetes/deployment.yaml names
every setting kestiv-seat reads, in its order, and nothing else: a setting
added to kestiv-seat shows up here until the Deployment states it. The
browser bridge's settings have no default, and kestiv-seat lists them only
when they are set: the base leaves them out, and the component
deploy/kubernetes-websocket adds them after the others, with values
kestiv-seat takes.

usage: settings_listed_test.py KESTIV_SEAT"""
import os
import re
import subprocess
import sys
from pathlib import Path

from checks import check, finish

DEPLOY = Path(__file__).resolve().parents[2] / "deploy"
DEPLOYMENT = DEPLOY / "kubernetes/deployment.yaml"
BRIDGE = DEPLOY / "kubernetes-websocket/kustomization.yaml"
# An env entry as a manifest or a patch states it: its name, then its value.
ENTRY = re.compile(r"^ *(?:- )?name: (KESTIV_\w+)\n *value: \"?([^\"\n]*)\"?$", re.MULTILINE)


def listed_by_seat(settings):
    """kestiv-seat --settings' names, with only these settings set."""
    clean = {name: value for name, value in os.environ.items() if not name.startswith("KESTIV_")}
    result = subprocess.run([sys.argv[1], "--settings"], env=dict(clean, **settings), capture_output=True,
                            text=True)
    check(result.returncode == 0, f"kestiv-seat takes the settings {settings} ({result.stderr.strip()})")
    return [line.split("=", 1)[0] for line in result.stdout.splitlines()]


if len(sys.argv) != 2:
    sys.exit(__doc__)
base = ENTRY.findall(DEPLOYMENT.read_text())
bridge = ENTRY.findall(BRIDGE.read_text())
base_names = [name for name, _ in base]
seat_names = listed_by_seat({})
check(seat_names and base_names == seat_names,
      f"the Deployment's environment names kestiv-seat's settings, in order "
      f"(kestiv-seat: {seat_names}; Deployment: {base_names})")
with_bridge = listed_by_seat(dict(bridge))
check(bridge and base_names + [name for name, _ in bridge] == with_bridge,
      f"the base with the bridge's component names kestiv-seat's settings with the bridge on, in order "
      f"(kestiv-seat: {with_bridge}; component: {bridge})")
finish()
