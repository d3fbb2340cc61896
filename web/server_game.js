// One game played on a game server over a WebSocket: the player's bytes go out
// as binary messages, the game's bytes come back as a terminal would show
// them, and the connection's end is the game's. There is no exit status: the
// server's last words, if any, came as output.

// Connects to the server at url. `onOutput(bytes)` gets what the game writes,
// as it comes; `onEnd(ending)` is called once, when the connection ends, with
// 'closed' (the server ended the game), 'lost' (the connection dropped
// without the game's end) or 'unreachable' (no connection was made). Returns
// the game: enter(bytes) sends the player's bytes, endInput() ends the input,
// which ends the game, and close() lets go of it without a word.
export function connectGame(url, { onOutput, onEnd }) {
    const socket = new WebSocket(url);
    socket.binaryType = 'arraybuffer';
    let opened = false;
    let ended = false;
    const end = (ending) => {
        if (ended) return;
        ended = true;
        socket.close();
        onEnd(ending);
    };
    // Whether the game waits for a line: what it wrote last ends inside a
    // line (a prompt), and nothing was sent since.
    let waitingForLine = false;
    const encoder = new TextEncoder();
    socket.addEventListener('open', () => {
        opened = true;
    });
    socket.addEventListener('message', ({ data }) => {
        if (ended) return;
        const bytes = typeof data === 'string' ? encoder.encode(data) : new Uint8Array(data);
        if (bytes.length > 0) waitingForLine = bytes[bytes.length - 1] !== 0x0a;
        onOutput(bytes);
    });
    // A bridge may close with a closing handshake when the game ends, or just
    // drop the connection (websocketd does), as a lost connection does too. A
    // game ends after a line was entered (a crash, exit) or after its last
    // words (time up, shutting down, full); a connection that ends while the
    // game waits at a prompt, without a handshake, was lost.
    socket.addEventListener('close', (event) => {
        if (!opened) end('unreachable');
        else end(!event.wasClean && waitingForLine ? 'lost' : 'closed');
    });
    return {
        enter(bytes) {
            waitingForLine = false;
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
