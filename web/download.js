// The program's download and compilation, telling how much has come as it
// comes, and saying in a player's words why it failed when it does: a server
// that refuses it, a connection that fails, or one that stalls.

// A download that has had no byte for this long has stalled.
export const STALL_SECONDS = 30;

// Starts fetching and compiling the .wasm at url. Returns the download:
// `compiled`, a promise of the WebAssembly.Module that rejects with an Error
// whose message tells the player what failed and what to do; `received` and
// `total` (the response's length, or null when the server does not give it
// or gives the length of a compressed body), and `onProgress`, which, once
// set, is called as bytes arrive.
export function downloadProgram(url, { stallSeconds = STALL_SECONDS } = {}) {
    const download = { received: 0, total: null, onProgress: null, compiled: null };
    const aborter = new AbortController();
    let stallTimer = 0;
    const stalled = new Error(`The maze's download stalled: nothing came for ${stallSeconds} seconds. `
        + 'Check that you are online, then try again.');
    const watchForStall = () => {
        clearTimeout(stallTimer);
        stallTimer = setTimeout(() => aborter.abort(stalled), stallSeconds * 1000);
    };
    const explain = (failure) => (aborter.signal.aborted ? stalled : failure);
    download.compiled = (async () => {
        watchForStall();
        let response;
        try {
            response = await fetch(url, { signal: aborter.signal });
        } catch {
            throw explain(new Error('The maze could not be downloaded: the connection failed. '
                + 'Check that you are online, then try again.'));
        }
        if (!response.ok) {
            throw new Error(`The maze could not be downloaded: the server answered `
                + `"${response.status} ${response.statusText}". Reload the page later, or tell whoever runs this site.`);
        }
        const length = Number(response.headers.get('Content-Length'));
        download.total = length > 0 && !response.headers.get('Content-Encoding') ? length : null;
        const counted = response.body.pipeThrough(new TransformStream({
            transform(chunk, controller) {
                watchForStall();
                download.received += chunk.length;
                download.onProgress?.(download.received, download.total);
                controller.enqueue(chunk);
            },
            flush() {
                clearTimeout(stallTimer);
            },
        }));
        const counting = new Response(counted, { headers: response.headers });
        try {
            // Streaming compilation wants the server to call the file
            // application/wasm; from any other server the bytes are compiled
            // once they are all there.
            if (response.headers.get('Content-Type')?.startsWith('application/wasm')) {
                return await WebAssembly.compileStreaming(counting);
            }
            return await WebAssembly.compile(await counting.arrayBuffer());
        } catch {
            throw explain(new Error('The maze could not be downloaded whole, or this browser cannot run it. '
                + 'Try again; if it fails again, reload the page.'));
        } finally {
            clearTimeout(stallTimer);
        }
    })();
    // Whoever starts a download early may look at its end only later.
    download.compiled.catch(() => {});
    return download;
}
