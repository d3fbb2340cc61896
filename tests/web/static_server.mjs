// Serves folders over HTTP on 127.0.0.1 as a plain static host does: each
// file by its path, with the type its name gives, and nothing else.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join } from 'node:path';

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.css': 'text/css',
    '.js': 'text/javascript',
    '.mjs': 'text/javascript',
    '.wasm': 'application/wasm',
};

// Serves folders on a free port: `mounts` is a list of [URL path prefix
// ending in "/", folder] pairs, and a request gets the file of the first
// whose prefix it starts with that has it. `answer(path, response)`, when
// given, is asked first, and answers the request itself when it resolves to
// true (to refuse a file, or to send it slowly); `onServed(path, body)`, when
// given, is told of every file served. Resolves to the server's root URL and
// a way to stop it.
export async function serveFolders(mounts, { answer, onServed } = {}) {
    const server = createServer(async (request, response) => {
        const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
        if (await answer?.(path, response)) return;
        for (const [prefix, folder] of mounts) {
            const relative = path.slice(prefix.length) || 'index.html';
            if (!path.startsWith(prefix) || relative.split('/').includes('..')) continue;
            try {
                const body = await readFile(join(folder, relative));
                response.writeHead(200, { 'Content-Type': TYPES[extname(relative)] ?? 'application/octet-stream' });
                response.end(body);
                onServed?.(path, body);
                return;
            } catch {
                // Not in this folder: the next may have it.
            }
        }
        response.writeHead(404);
        response.end();
    });
    await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
    return {
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((closed) => {
            server.close(closed);
            server.closeAllConnections();
        }),
    };
}
