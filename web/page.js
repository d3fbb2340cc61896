// The page: kestiv's terminal in a terminal widget that fills the window. Each
// game is a fresh instance of the program, whose module is compiled once; the
// line editor, and so the history of entered lines, lasts as long as the page.

import { Terminal } from './xterm/xterm.js';
import { FitAddon } from './xterm/addon-fit.js';
import createKestivTerminal from './kestiv-terminal.js';
import { createLineEditor } from './line_editor.js';
import { startGame } from './program.js';

const PROGRAM_URL = new URL('kestiv-terminal.wasm', import.meta.url);

// The Windows console's colours (its Campbell scheme) for the ANSI colours
// the program writes in.
const THEME = {
    background: '#0c0c0c', foreground: '#cccccc', cursor: '#cccccc',
    black: '#0c0c0c', red: '#c50f1f', green: '#13a10e', yellow: '#c19c00',
    blue: '#0037da', magenta: '#881798', cyan: '#3a96dd', white: '#cccccc',
    brightBlack: '#767676', brightRed: '#e74856', brightGreen: '#16c60c', brightYellow: '#f9f1a5',
    brightBlue: '#3b78ff', brightMagenta: '#b4009e', brightCyan: '#61d6d6', brightWhite: '#f2f2f2',
};

const PLAYING = 'Up and Down recall earlier lines, Esc clears the line, Ctrl+Z then Enter ends input.';

const statusLine = document.getElementById('status');
const newGameButton = document.getElementById('new-game');
const terminal = new Terminal({
    convertEol: true,
    cursorBlink: true,
    scrollback: 10000,
    fontFamily: '"Cascadia Mono", Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace',
    fontSize: 16,
    theme: THEME,
});
const fit = new FitAddon();
terminal.loadAddon(fit);
terminal.open(document.getElementById('terminal'));
fit.fit();

const encoder = new TextEncoder();

// The game being played; null while one starts and after it has ended.
let game = null;
const editor = createLineEditor(terminal, enterLine);
let program = compileProgram();

function setState(state, status) {
    document.body.dataset.game = state;
    statusLine.textContent = status;
}

// Streaming compilation wants the server to call the file application/wasm;
// from any other server the bytes are compiled once they are all there.
async function compileProgram() {
    const response = await fetch(PROGRAM_URL);
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    if (response.headers.get('Content-Type')?.startsWith('application/wasm')) {
        return WebAssembly.compileStreaming(response);
    }
    return WebAssembly.compile(await response.arrayBuffer());
}

// Marks the moment for the benchmarks, keeping only the latest of a name.
function mark(name) {
    performance.clearMarks(name);
    performance.mark(name);
}

// Marks when what was just written is in the terminal, and when it has been
// drawn, at the next frame.
function markWritten(name) {
    mark(`${name}-written`);
    const drawn = terminal.onRender(() => {
        drawn.dispose();
        mark(`${name}-drawn`);
    });
}

// Shows what the program wrote, after what shows the line entered, in one
// write (the terminal parses a write that follows a key at once), then asks
// for the next line or ends the game.
function answer(shown, markName) {
    const answering = game;
    const joined = new Uint8Array(shown.reduce((length, part) => length + part.length, 0));
    let at = 0;
    for (const part of shown) {
        joined.set(part, at);
        at += part.length;
    }
    terminal.write(joined, () => {
        // A new game may have begun meanwhile.
        if (answering !== game) return;
        markWritten(markName);
        if (game.status === null) editor.begin();
        else gameOver(`Game over: the program ended with exit status ${game.status}.`);
    });
}

function enterLine({ echo, bytes, endsInput }) {
    try {
        const shown = [encoder.encode(echo), game.enter(bytes)];
        if (endsInput && game.status === null) shown.push(game.endInput());
        answer(shown, 'kestiv-answer');
    } catch (error) {
        failed('The program stopped', error);
    }
}

function gameOver(status) {
    game = null;
    editor.stop();
    const lineEnds = terminal.buffer.active.cursorX > 0 ? '\r\n\r\n' : '\r\n';
    // The cursor hides until the next game, which has it shown again.
    terminal.write(`${lineEnds}\x1b[90m[${status} Press Enter for a new game.]\x1b[0m\x1b[?25l`);
    setState('ended', `${status} Press Enter or New game to play again.`);
}

function failed(what, error) {
    terminal.write(`\r\n\x1b[31m${what}: ${error.message ?? error}\x1b[0m`, () => gameOver(`${what}.`));
}

async function newGame() {
    game = null;
    editor.stop();
    setState('starting', 'Starting…');
    try {
        game = await startGame(createKestivTerminal, await program, { outputIsTerminal: true });
    } catch (error) {
        program = compileProgram();
        failed(`Could not start the game from ${PROGRAM_URL.pathname}`, error);
        return;
    }
    setState('playing', PLAYING);
    answer([encoder.encode('\x1b[?25h'), game.output], 'kestiv-start');
}

// Ctrl+V and Shift+Insert paste, and Ctrl+C or Ctrl+Insert copy what is
// selected, as in a Windows console: left to the browser, whose paste and
// copy the terminal then serves, rather than sent as control characters.
terminal.attachCustomKeyEventHandler((event) => {
    const key = event.key.toLowerCase();
    const paste = (event.ctrlKey && key === 'v') || (event.shiftKey && key === 'insert');
    const copy = event.ctrlKey && (key === 'c' || key === 'insert') && terminal.hasSelection();
    return !(paste || copy);
});

terminal.onData((data) => {
    if (document.body.dataset.game !== 'ended') editor.feed(data);
    else if (/[\r\n]/.test(data)) newGame();
});

newGameButton.addEventListener('click', () => {
    newGame();
    terminal.focus();
});

new ResizeObserver(() => editor.resize(() => fit.fit())).observe(document.getElementById('terminal'));

// What the tests and benchmarks read: the terminal's cells, through its buffer.
globalThis.kestivTerminal = terminal;

terminal.focus();
newGame();
