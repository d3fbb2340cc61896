// A game server for the page to play on, as a contest runs one: the terminal
// served over TCP by deploy/serve-with-socat, with a WebSocket bridge beside
// it, Debian's websocketd, whose every connection is relayed to the TCP port;
// all on 127.0.0.1, on free ports, stopped by the test.
import { spawn } from 'node:child_process';
import { connect, createServer } from 'node:net';
import { fileURLToPath } from 'node:url';

const SERVE_WITH_SOCAT = fileURLToPath(new URL('../../deploy/serve-with-socat', import.meta.url));
// The longest a server may take to listen; only a broken one takes it.
const LISTENING_MS = 120000;

function freePort() {
    return new Promise((resolve, reject) => {
        const probe = createServer();
        probe.on('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

function accepts(port) {
    return new Promise((resolve) => {
        const socket = connect(port, '127.0.0.1');
        socket.on('connect', () => {
            socket.destroy();
            resolve(true);
        });
        socket.on('error', () => resolve(false));
    });
}

async function listening(port, process, what) {
    const deadline = Date.now() + LISTENING_MS;
    while (!(await accepts(port))) {
        if (process.exitCode !== null) throw new Error(`${what} ended before it listened (status ${process.exitCode})`);
        if (Date.now() > deadline) throw new Error(`${what} did not listen on port ${port}`);
        await new Promise((resolve) => { setTimeout(resolve, 50); });
    }
}

function ended(process) {
    return process.exitCode !== null || process.signalCode !== null
        ? Promise.resolve()
        : new Promise((resolve) => { process.once('exit', resolve); });
}

// Starts a server of terminal (a native build's, with kestiv-seat beside it),
// with `settings` (KESTIV_GAMES and the like) in its environment. Resolves to
// { url, stop(), dropConnections() }: the WebSocket address, what ends the
// server as its host does, and what cuts every connection at once.
export async function startGameServer({ terminal, settings = {} }) {
    const [tcpPort, webSocketPort] = [await freePort(), await freePort()];
    const environment = { ...process.env, ...settings };
    const server = spawn(SERVE_WITH_SOCAT, [`127.0.0.1:${tcpPort}`, terminal], {
        env: environment, stdio: ['ignore', 'inherit', 'inherit'],
    });
    const bridge = spawn('websocketd', [
        '--address=127.0.0.1', `--port=${webSocketPort}`, '--binary=true', '--loglevel=error',
        'socat', 'STDIO', `TCP:127.0.0.1:${tcpPort}`,
    ], { stdio: ['ignore', 'inherit', 'inherit'] });
    const stop = async () => {
        server.kill('SIGTERM');
        await ended(server);
        bridge.kill('SIGTERM');
        await ended(bridge);
    };
    try {
        await listening(tcpPort, server, 'serve-with-socat');
        await listening(webSocketPort, bridge, 'websocketd');
    } catch (error) {
        await stop();
        throw error;
    }
    return {
        url: `ws://127.0.0.1:${webSocketPort}/`,
        stop,
        dropConnections: async () => {
            bridge.kill('SIGKILL');
            await ended(bridge);
        },
    };
}
