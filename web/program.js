// One game of kestiv's terminal: the program, compiled to WebAssembly, in an
// instance of its own, given its input as bytes and read back byte for byte.

// Bytes as the program writes them, one at a time, handed over in one piece.
function byteSink() {
    let bytes = new Uint8Array(4096);
    let length = 0;
    return {
        push(byte) {
            if (length === bytes.length) {
                const larger = new Uint8Array(bytes.length * 2);
                larger.set(bytes);
                bytes = larger;
            }
            bytes[length++] = byte;
        },
        take() {
            const taken = bytes.slice(0, length);
            length = 0;
            return taken;
        },
    };
}

// Starts a game: instantiates wasmModule (the compiled .wasm) through the
// program's module factory and runs it up to its first prompt. When
// outputIsTerminal is true the program colours and clears with ANSI escape
// sequences, as on a terminal; otherwise it writes only text, as to a file.
// Resolves to a game whose output so far is in `output`.
export async function startGame(createModule, wasmModule, { outputIsTerminal }) {
    const stdout = byteSink();
    const stderr = byteSink();
    const game = {
        // The exit status once the program has ended (-1 is written 255
        // by a console that shows it unsigned); null while it runs.
        status: null,
        output: null,
        errorOutput: null,
        // Carries out the lines in bytes (UTF-8, "\n" after each); a last
        // line without one counts. Returns what the program wrote meanwhile.
        enter(bytes) {
            if (bytes.length === 0) return take();
            return run(() => {
                const at = program._malloc(bytes.length);
                program.HEAPU8.set(bytes, at);
                program._enterInput(at, bytes.length);
                program._free(at);
            });
        },
        // Ends the program's input, which ends it with status 0.
        endInput() {
            return run(() => program._endInput());
        },
    };
    const take = () => {
        game.errorOutput = stderr.take();
        return stdout.take();
    };
    const run = (call) => {
        if (game.status !== null) throw new Error('the program has ended');
        try {
            call();
        } catch (thrown) {
            // exit() unwinds out of the call that made it.
            if (thrown?.name !== 'ExitStatus') throw thrown;
            game.status = thrown.status;
            release();
        }
        return take();
    };
    // An ended program's instance and memory (tens of megabytes) are
    // dropped at once: the module object holds them through its exports, its
    // heap views and the functions that close over them, so whoever still
    // holds the object or this game keeps none of them alive.
    const release = () => {
        for (const key of Object.keys(program)) delete program[key];
        program = null;
    };
    let program = await createModule({
        outputIsTerminal,
        stdin: () => null,
        stdout: stdout.push,
        stderr: stderr.push,
        // exit() before the first prompt, as for a bad image, ends here.
        onExit: (status) => {
            game.status = status;
        },
        instantiateWasm(imports, receiveInstance) {
            WebAssembly.instantiate(wasmModule, imports).then((instance) => receiveInstance(instance, wasmModule));
            return {};
        },
    });
    if (game.status !== null) release();
    game.output = take();
    return game;
}
