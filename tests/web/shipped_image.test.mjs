// The page's program carries its maze as the image has it, stored contents in
// their stored form. The linker leaves out runs of zero bytes, which memory
// starts with anyway, so the image stands in the .wasm as the stretches
// between such runs, in order.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

const { KESTIV_MAZE_IMAGE, KESTIV_PROGRAM_WASM } = process.env;

// The stretches of bytes between runs of at least four zero bytes.
function stretches(bytes) {
    const found = [];
    let start = 0;
    let zeros = 0;
    for (let at = 0; at < bytes.length; ++at) {
        if (bytes[at] === 0) {
            ++zeros;
            continue;
        }
        if (zeros >= 4) {
            found.push(bytes.subarray(start, at - zeros));
            start = at;
        }
        zeros = 0;
    }
    found.push(bytes.subarray(start, bytes.length - zeros));
    return found.filter((stretch) => stretch.length > 0);
}

test('every stretch of the image stands in the .wasm, in order', () => {
    const image = readFileSync(KESTIV_MAZE_IMAGE);
    const wasm = readFileSync(KESTIV_PROGRAM_WASM);
    let from = 0;
    const missing = [];
    for (const stretch of stretches(image)) {
        const at = wasm.indexOf(stretch, from);
        if (at < 0) missing.push(stretch.byteOffset - image.byteOffset);
        else from = at + stretch.length;
    }
    assert.deepEqual(missing.slice(0, 10), [], 'image offsets of stretches not found');
});
