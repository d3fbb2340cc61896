// The program's download and compilation, telling how much has come as it
// comes, and saying in a player's words why it failed when it does.

// Fetches and compiles the .wasm at url. `onProgress(received, total)` is
// called as bytes arrive; total is the response's length, or null when the
// server does not give it (or gives the length of a compressed body).
// Resolves to the compiled WebAssembly.Module; rejects with an Error whose
// message tells the player what failed and what to do.
export async function downloadProgram(url, onProgress) {
    let response;
    try {
        response = await fetch(url);
    } catch {
        throw new Error('The maze could not be downloaded: the connection failed. '
            + 'Check that you are online, then try again.');
    }
    if (!response.ok) {
        throw new Error(`The maze could not be downloaded: the server answered `
            + `"${response.status} ${response.statusText}". Reload the page later, or tell whoever runs this site.`);
    }
    const length = Number(response.headers.get('Content-Length'));
    const total = length > 0 && !response.headers.get('Content-Encoding') ? length : null;
    let received = 0;
    const counted = response.body.pipeThrough(new TransformStream({
        transform(chunk, controller) {
            received += chunk.length;
            onProgress(received, total);
            controller.enqueue(chunk);
        },
    }));
    const counting = new Response(counted, { headers: response.headers });
    try {
        // Streaming compilation wants the server to call the file
        // application/wasm; from any other server the bytes are compiled once
        // they are all there.
        if (response.headers.get('Content-Type')?.startsWith('application/wasm')) {
            return await WebAssembly.compileStreaming(counting);
        }
        return await WebAssembly.compile(await counting.arrayBuffer());
    } catch {
        throw new Error('The maze could not be downloaded whole, or this browser cannot run it. '
            + 'Reload the page to try again.');
    }
}
