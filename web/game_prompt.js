// Whether a game's output, read in the pieces it comes in, has reached the
// point where the game asks for a line: the shell writes its prompt, green,
// last before it reads one, and nothing while it waits.

// As the shell writes it to a terminal.
const PROMPT = new TextEncoder().encode("\x1b[32mkestiv's terminal ---> \x1b[0m");

// Reads a game's output as it comes. take(bytes) returns whether the output
// so far ends in the prompt, in whatever pieces the prompt came.
export function createPromptWatch() {
    // The last bytes of the output, as many as the prompt has at most.
    let tail = new Uint8Array(0);
    return {
        take(bytes) {
            const kept = Math.min(PROMPT.length, tail.length + bytes.length);
            const last = new Uint8Array(kept);
            const fromBytes = Math.min(kept, bytes.length);
            last.set(tail.subarray(tail.length - (kept - fromBytes)));
            last.set(bytes.subarray(bytes.length - fromBytes), kept - fromBytes);
            tail = last;
            return kept === PROMPT.length && PROMPT.every((byte, at) => last[at] === byte);
        },
    };
}
