// One game played on a game server over a WebSocket: the player's bytes go out
// as binary messages, the game's bytes come back as a terminal would show
// them, and the connection's end is the game's. There is no exit status: the
// server's last words, if any, came as output.

const encoder = new TextEncoder();

// What kestiv-seat sends last when it ends the connection through websocketd,
// which would otherwise drop it without a WebSocket closing handshake, just as
// a lost connection ends: an APC string, which terminals ignore. The page
// closes when it reads it, at the end of a message.
const END_MARK = encoder.encode('\x1b_kestiv-end\x1b\\');

// A server's output as it comes, less the end mark: bytes that may begin the
// mark at the end of a message are held back until the next one.
// take(bytes) returns { shown, marked }: what to show now, and whether the
// message ended with the mark; rest() returns what was held back when the
// connection ends.
export function createEndMarkReader() {
    let held = new Uint8Array(0);
    return {
        take(bytes) {
            const all = new Uint8Array(held.length + bytes.length);
            all.set(held);
            all.set(bytes, held.length);
            let kept = Math.min(END_MARK.length, all.length);
            while (kept > 0 && !END_MARK.subarray(0, kept).every((byte, at) => all[all.length - kept + at] === byte)) --kept;
            held = all.slice(all.length - kept);
            const marked = kept === END_MARK.length;
            if (marked) held = new Uint8Array(0);
            return { shown: all.subarray(0, all.length - kept), marked };
        },
        rest() {
            const rest = held;
            held = new Uint8Array(0);
            return rest;
        },
    };
}

// Connects to the server at url. `onOutput(bytes)` gets what the game writes,
// as it comes; `onEnd(ending)` is called once, when the connection ends, with
// 'closed' (the server ended the game), 'lost' (the connection dropped
// without the server's word) or 'unreachable' (no connection was made).
// Returns the game: enter(bytes) sends the player's bytes, endInput() ends
// the input, which ends the game, and close() lets go of it without a word.
export function connectGame(url, { onOutput, onEnd }) {
    const socket = new WebSocket(url);
    socket.binaryType = 'arraybuffer';
    let opened = false;
    let ended = false;
    const output = createEndMarkReader();
    const end = (ending) => {
        if (ended) return;
        ended = true;
        socket.close();
        onEnd(ending);
    };
    socket.addEventListener('open', () => {
        opened = true;
    });
    // A server that ends the connection either sends the end mark last or
    // closes with a handshake; a connection that ends with neither was lost.
    socket.addEventListener('message', ({ data }) => {
        if (ended) return;
        const { shown, marked } = output.take(typeof data === 'string' ? encoder.encode(data) : new Uint8Array(data));
        if (shown.length > 0) onOutput(shown);
        if (marked) end('closed');
    });
    socket.addEventListener('close', (event) => {
        if (ended) return;
        const rest = output.rest();
        if (rest.length > 0) onOutput(rest);
        if (!opened) end('unreachable');
        else end(event.wasClean ? 'closed' : 'lost');
    });
    return {
        enter(bytes) {
            if (!ended && socket.readyState === WebSocket.OPEN) socket.send(bytes);
        },
        endInput() {
            ended = true;
            socket.close(1000);
        },
        close() {
            ended = true;
            socket.close(1000);
        },
    };
}
