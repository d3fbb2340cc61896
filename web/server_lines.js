// A game server's own lines told apart from the game's output, so that the
// page can break them at spaces, as it does its own, while every byte the
// game writes reaches the terminal as it came.
//
// The server's lines are plain text, each ending in a line end. Before a game
// they are all it sends: a place in line and its changes, a turning away, a
// refusal. The game's output begins with an escape sequence, as the game
// clears the screen first. After that, the server speaks only to end a game it
// ends (time up, idle, shutting down, a cap): a reset of the colours, an empty
// line, and its line, the last output of the connection.

const ESCAPE = 0x1b;
const LINE_FEED = 0x0a;
const RESET = [ESCAPE, ...new TextEncoder().encode('[0m')];
const ENDING_LINE = /^(\r?\n\r?\n)([^\x1b\r\n]+)\r?\n$/;

const decoder = new TextDecoder();

function joined(first, second) {
    const all = new Uint8Array(first.length + second.length);
    all.set(first);
    all.set(second, first.length);
    return all;
}

function lastIndexOf(bytes, part) {
    for (let at = bytes.length - part.length; at >= 0; --at) {
        if (part.every((byte, offset) => bytes[at + offset] === byte)) return at;
    }
    return -1;
}

// The text of a line's bytes, its line end left out.
const lineText = (bytes) => decoder.decode(bytes).replace(/\r?\n$/, '');

// Reads a server's output in the pieces it comes in. take(bytes) and, once
// the connection has ended, end() return the parts in order: { line } for a
// line of the server's, its text without the line end, and { game } for
// bytes to show as they are, the first of them the game's start.
export function createServerLines() {
    let started = false;
    // A line of the server's begun before the game's output, whose end has
    // not come yet.
    let begun = new Uint8Array(0);

    const beforeStart = (bytes) => {
        const all = joined(begun, bytes);
        const gameAt = all.indexOf(ESCAPE);
        const prose = gameAt < 0 ? all : all.subarray(0, gameAt);
        const parts = [];
        let from = 0;
        for (let at = prose.indexOf(LINE_FEED); at >= 0; at = prose.indexOf(LINE_FEED, from)) {
            parts.push({ line: lineText(prose.subarray(from, at + 1)) });
            from = at + 1;
        }
        begun = prose.slice(from);
        if (gameAt < 0) return parts;
        if (begun.length > 0) parts.push({ line: lineText(begun) });
        begun = new Uint8Array(0);
        started = true;
        return [...parts, ...afterStart(all.subarray(gameAt))];
    };

    const afterStart = (bytes) => {
        const resetAt = lastIndexOf(bytes, RESET);
        const ending = resetAt < 0 ? null : decoder.decode(bytes.subarray(resetAt + RESET.length)).match(ENDING_LINE);
        if (!ending) return [{ game: bytes }];
        const lineAt = resetAt + RESET.length + ending[1].length;
        return [{ game: bytes.subarray(0, lineAt) }, { line: ending[2] }];
    };

    return {
        take(bytes) {
            return started ? afterStart(bytes) : beforeStart(bytes);
        },
        end() {
            const rest = begun;
            begun = new Uint8Array(0);
            return rest.length > 0 ? [{ line: lineText(rest) }] : [];
        },
    };
}
