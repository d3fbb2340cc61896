// A TCP relay on 127.0.0.1 in front of a server, which a test can cut as a
// network between a player and the server fails: every connection through it
// is reset at once, and the server learns of it only from its own side.
import { connect, createServer } from 'node:net';

// Relays a free port to `port` on 127.0.0.1. Resolves to { port, cut(),
// close() }: cut() resets every connection made so far, and the relay goes on
// taking new ones.
export async function startRelay(port) {
    const sockets = new Set();
    const keep = (socket) => {
        sockets.add(socket);
        socket.on('close', () => sockets.delete(socket));
        socket.on('error', () => {});
    };
    const relay = createServer((player) => {
        const server = connect(port, '127.0.0.1');
        keep(player);
        keep(server);
        player.pipe(server);
        server.pipe(player);
        // A side that closes, even without its end, ends the other once what
        // it sent has gone on.
        player.on('close', () => server.end());
        server.on('close', () => player.end());
    });
    await new Promise((listening) => relay.listen(0, '127.0.0.1', listening));
    return {
        port: relay.address().port,
        cut() {
            for (const socket of sockets) socket.resetAndDestroy();
        },
        close: () => new Promise((closed) => {
            relay.close(closed);
            for (const socket of sockets) socket.destroy();
        }),
    };
}
