"""What the players of the served-terminal tests type, and what each must see:
the walk from the root to the goal file, made different for every player, and
the bytes the same terminal writes for the same lines when it runs directly,
writing to a pseudo-terminal as it does when served, as the server sends
them."""
import os
import select
import subprocess
import tty

PROMPT = b"\x1b[32mkestiv's terminal ---> \x1b[0m"
# The two line ends players send: nc sends what the player's terminal gives
# it, a telnet client ends every line with CR LF.
NC_LINE_END = b"\n"
TELNET_LINE_END = b"\r\n"
END_MARK = b"\x00end of the reference output\x00"


def goal_path(kestivfs, image, flag):
    """The names from the root to the file whose text holds the flag."""
    listing = subprocess.run([kestivfs, "list", "--text", image], check=True, capture_output=True).stdout
    path = None
    for line in listing.split(b"\n"):
        fields = line.split(None, 2)
        if fields and fields[0] == b"file":
            path = fields[2]
        elif flag in line and path is not None:
            return path.strip(b"/").split(b"/")
    raise RuntimeError("no file of the image holds the flag")


def walk_to_goal(goal, player):
    """The lines of one player's walk to the goal file and its type command.
    Each player lists a different level a different number of times, so no
    two players of a hundred type the same session."""
    levels = len(goal)
    listed_level = player % levels
    listings = player // levels + 1
    lines = []
    for level, name in enumerate(goal):
        if level == listed_level:
            lines += [b"dir"] * listings
        lines.append((b"cd " if level < levels - 1 else b"type ") + name)
    return lines


def as_typed(lines, line_end):
    return b"".join(line + line_end for line in lines)


def reference_output(terminal, typed):
    """What a player of the served terminal receives for the bytes typed
    followed by the end of input: everything the terminal writes to a
    pseudo-terminal of its own, as it does when served, each LF as CR LF, and
    its last line ended when the game ends in the middle of one."""
    controller, terminal_side = os.openpty()
    # No output processing, as the server's pseudo-terminals have none: the
    # line ends are the server's.
    tty.setraw(terminal_side)
    game = subprocess.Popen([terminal], stdin=subprocess.PIPE, stdout=terminal_side,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    game.stdin.write(typed)
    game.stdin.close()
    output = bytearray()
    # The game is read while it plays, as it may write more than the
    # pseudo-terminal holds. What it writes reaches this side later, and a
    # hang-up can overtake it; so the terminal side stays open here, and a
    # mark written after the game has ended shows when all its output is in.
    while game.poll() is None:
        if select.select([controller], [], [], 0.05)[0]:
            output += os.read(controller, 1 << 16)
    os.write(terminal_side, END_MARK)
    while not output.endswith(END_MARK):
        output += os.read(controller, 1 << 16)
    os.close(terminal_side)
    os.close(controller)
    written = bytes(output[:-len(END_MARK)])
    ended = b"" if written.endswith(b"\n") or not written else b"\n"
    return (written + ended).replace(b"\n", b"\r\n")


def opening_output(terminal):
    """What a player receives before typing anything: the banner and the first prompt."""
    whole = reference_output(terminal, b"exit\n")
    return whole[:whole.index(PROMPT) + len(PROMPT)]
