// Serves folders over HTTP on 127.0.0.1 as a plain static host does: each
// file by its path, with the type its name gives, and nothing else.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join } from 'node:path';

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.css': 'text/css',
    '.js': 'text/javascript',
    '.wasm': 'application/wasm',
};

// Serves each folder of `mounts` (URL path prefix, ending in "/", to folder)
// on a free port; resolves to the server's root URL and a way to stop it.
export async function serveFolders(mounts) {
    const prefixes = Object.keys(mounts).sort((a, b) => b.length - a.length);
    const server = createServer(async (request, response) => {
        const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
        const prefix = prefixes.find((candidate) => path.startsWith(candidate));
        const relative = path.slice(prefix.length) || 'index.html';
        try {
            if (relative.split('/').includes('..')) throw new Error('outside the folder');
            const body = await readFile(join(mounts[prefix], relative));
            response.writeHead(200, { 'Content-Type': TYPES[extname(relative)] ?? 'application/octet-stream' });
            response.end(body);
        } catch {
            response.writeHead(404);
            response.end();
        }
    });
    await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
    return {
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((closed) => server.close(closed)),
    };
}
