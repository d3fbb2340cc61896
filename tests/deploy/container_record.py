"""What a build of the release-container preset made: the OCI archive and the
record beside it (the image's name, ID, manifest digest and Debian packages)."""
from pathlib import Path


def archive(build):
    return next(Path(build).glob("kestiv-terminal-*-container.tar"))


def record(build):
    """The record's fields: "image", "image ID", "manifest digest", "source
    date", and "Debian packages", a list of "PACKAGE VERSION"."""
    fields = {"Debian packages": []}
    for line in archive(build).with_suffix(".txt").read_text().splitlines():
        key, _, value = line.partition(": ")
        if key == "Debian package":
            fields["Debian packages"].append(value)
        else:
            fields[key] = value
    return fields


def image_name(build):
    """The image's name and tag apart: ("localhost/kestiv-terminal", "1.0-0123456789ab")."""
    name, _, tag = record(build)["image"].rpartition(":")
    return name, tag
