#!/usr/bin/env python3
"""The container's environment in deploy/kubernetes/deployment.yaml names
every setting kestiv-seat reads, in its order, and nothing else: a setting
added to kestiv-seat shows up here until the Deployment states it.

usage: settings_listed_test.py KESTIV_SEAT"""
import os
import re
import subprocess
import sys
from pathlib import Path

from checks import check, finish

DEPLOYMENT = Path(__file__).resolve().parents[2] / "deploy/kubernetes/deployment.yaml"

if len(sys.argv) != 2:
    sys.exit(__doc__)
clean = {name: value for name, value in os.environ.items() if not name.startswith("KESTIV_")}
listed = subprocess.run([sys.argv[1], "--settings"], env=clean, check=True, capture_output=True,
                        text=True).stdout
seat_names = [line.split("=", 1)[0] for line in listed.splitlines()]
deployment_names = re.findall(r"^ +- name: (KESTIV_\w+)$", DEPLOYMENT.read_text(), re.MULTILINE)
check(seat_names and deployment_names == seat_names,
      f"the Deployment's environment names kestiv-seat's settings, in order "
      f"(kestiv-seat: {seat_names}; Deployment: {deployment_names})")
finish()
