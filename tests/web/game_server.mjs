// A game server for the page to play on, as a contest runs one:
// deploy/serve-with-socat serving the terminal over TCP, with its own browser
// bridge (KESTIV_WEBSOCKET) taking pages of one site's origin; on 127.0.0.1,
// on free ports, stopped by the test.
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';
import { fileURLToPath } from 'node:url';

const SERVE_WITH_SOCAT = fileURLToPath(new URL('../../deploy/serve-with-socat', import.meta.url));
// The keeper's log kept for a test to read: enough for every line of a test.
const LOG_KEPT = 1 << 20;

export function freePort() {
    return new Promise((resolve, reject) => {
        const probe = createServer();
        probe.on('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

function ended(process) {
    return process.exitCode !== null || process.signalCode !== null
        ? Promise.resolve()
        : new Promise((resolve) => { process.once('exit', resolve); });
}

// Starts a server of terminal (a native build's, with kestiv-seat beside it)
// whose bridge takes pages of `origin` (such as http://127.0.0.1:8000), with
// `settings` (KESTIV_GAMES and the like) in its environment. Resolves, once
// it says it listens, to { url, log(), stop() }: the bridge's WebSocket
// address, what the server has logged so far, and what ends the server as
// its host does.
export async function startGameServer({ terminal, origin, settings = {} }) {
    const [tcpPort, webSocketPort] = [await freePort(), await freePort()];
    const environment = {
        ...process.env,
        KESTIV_WEBSOCKET: `127.0.0.1:${webSocketPort}`,
        KESTIV_WEBSOCKET_ORIGIN: origin,
        ...settings,
    };
    // Stopped with the test, however the test ends.
    const server = spawn('setpriv', ['--pdeathsig', 'TERM', SERVE_WITH_SOCAT, `127.0.0.1:${tcpPort}`, terminal], {
        env: environment, stdio: ['ignore', 'pipe', 'pipe'],
    });
    let logged = '';
    server.stderr.setEncoding('utf8');
    server.stderr.on('data', (text) => {
        logged = (logged + text).slice(-LOG_KEPT);
    });
    // It prints one line once it listens, and nothing more.
    server.stdout.setEncoding('utf8');
    const said = await new Promise((resolve) => {
        let line = '';
        server.stdout.on('data', (text) => {
            line += text;
            if (line.includes('\n')) resolve(line);
        });
        server.once('exit', () => resolve(line));
    });
    if (!said.includes(`WebSocket bridge on 127.0.0.1 port ${webSocketPort}`)) {
        await ended(server);
        throw new Error(`serve-with-socat did not start its bridge (status ${server.exitCode}): ${said}${logged}`);
    }
    return {
        url: `ws://127.0.0.1:${webSocketPort}/`,
        log: () => logged,
        stop: async () => {
            server.kill('SIGTERM');
            await ended(server);
        },
    };
}
