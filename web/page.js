// The page: kestiv's terminal in a terminal widget that fills the window. Each
// game is a fresh instance of the program, whose module is compiled once; the
// line editor, and so the history of entered lines, lasts as long as the page.
//
// What a page around it, a test or a benchmark may rely on: the module exports
// the page's `terminal` (the xterm.js Terminal the game is played on), and the
// document gets a `kestiv-shown` event once what the program wrote is in that
// terminal, with detail 'start' for a game's start and 'answer' for the answer
// to a line.

import { Terminal } from './xterm/xterm.js';
import { FitAddon } from './xterm/addon-fit.js';
import createKestivTerminal from './kestiv-terminal.js';
import { createLineEditor } from './line_editor.js';
import { startGame } from './program.js';
import { downloadProgram } from './download.js';
import { fitFontToColumns, widestLine } from './font_fit.js';
import { scrollByTouch } from './touch_scroll.js';
import { themeFromStyle } from './terminal_theme.js';

const PROGRAM_URL = new URL('kestiv-terminal.wasm', import.meta.url);

const touchFirst = matchMedia('(pointer: coarse)').matches;
const PLAYING = touchFirst
    ? 'Swipe the terminal to scroll back. The keys below recall earlier lines (Up, Down) and clear the line (Esc).'
    : 'Up and Down recall earlier lines, Esc clears the line, Ctrl+Z then Enter ends input.';
// A second press of the key that started a game, as people press Enter
// twice (up to about 400 ms apart), is not the new game's first line: an
// Enter this soon after it, with nothing typed before, is dropped.
const RESTART_QUIET_MS = 800;

const statusLine = document.getElementById('status');
const newGameButton = document.getElementById('new-game');
const guide = document.getElementById('guide');
const terminalElement = document.getElementById('terminal');
export const terminal = new Terminal({
    convertEol: true,
    cursorBlink: true,
    scrollback: 10000,
    fontFamily: '"Cascadia Mono", Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace',
    fontSize: 16,
    theme: themeFromStyle(),
});
// The game's output in the accessibility tree, read out as it comes, unless
// the player turned it off. xterm.js takes no text that comes without a key
// press in that mode, as a phone's keyboard sends it: there it starts off.
const screenReader = document.getElementById('screen-reader');
screenReader.checked = (localStorage.getItem('kestiv-screen-reader') ?? String(!touchFirst)) === 'true';
terminal.options.screenReaderMode = screenReader.checked;
screenReader.addEventListener('change', () => {
    terminal.options.screenReaderMode = screenReader.checked;
    localStorage.setItem('kestiv-screen-reader', String(screenReader.checked));
});
const fit = new FitAddon();
terminal.loadAddon(fit);
terminal.open(terminalElement);
fit.fit();
// The widest line of a game's start, which the font is sized to fit.
let widest = 0;

function fitTerminal() {
    document.body.dataset.narrow = !fitFontToColumns(terminal, () => fit.fit(), widest);
}

const encoder = new TextEncoder();

// The game being played; null while one starts and after it has ended.
let game = null;
// When the press that started the latest game came, and whether anything
// but line ends has been typed in that game since. Times are the events' own,
// as a busy page may take a key long after it came.
let restartedAt = -Infinity;
let typedSinceRestart = false;
// When the key whose data the terminal is about to give came; null for data
// that no key press gave.
let keyPressedAt = null;
const editor = createLineEditor(terminal, enterLine);
// The compiled program, once asked for; null again after a failed download,
// which the next game tries anew.
let program = null;

function setState(state, status) {
    document.body.dataset.game = state;
    statusLine.textContent = status;
}

const megabytes = (bytes) => (bytes / 1e6).toFixed(1);

// Downloads and compiles the program, its progress on the terminal's last
// line; then says it starts.
async function loadProgram() {
    const progressLine = (received, total) => {
        const of = total === null ? '' : ` of ${megabytes(total)}`;
        return `\r\x1b[2KLoading the maze: ${megabytes(received)}${of} MB`;
    };
    // Drawn at most once a frame: the bytes come in many small pieces.
    let drawing = 0;
    let latest = null;
    const showProgress = (received, total) => {
        latest = { received, total };
        drawing ||= requestAnimationFrame(() => {
            drawing = 0;
            terminal.write(progressLine(latest.received, latest.total));
        });
    };
    let compiled;
    try {
        compiled = await downloadProgram(PROGRAM_URL, showProgress);
    } finally {
        cancelAnimationFrame(drawing);
    }
    const whole = latest ? progressLine(latest.received, latest.total) : '';
    terminal.write(`${whole}\r\n\r\nStarting…`);
    return compiled;
}

// Shows what the program wrote, after what shows the line entered, in one
// write (the terminal parses a write that follows a key at once), then asks
// for the next line or ends the game. What is shown is a game's 'start' or an
// 'answer' to a line.
function answer(shown, what) {
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
        document.dispatchEvent(new CustomEvent('kestiv-shown', { detail: what }));
        if (game.status === null) editor.begin();
        else gameEnded(game.status, shown.at(-1).length > 0);
    });
}

function enterLine({ echo, bytes, endsInput }) {
    guide.hidden = true;
    try {
        const shown = [encoder.encode(echo), game.enter(bytes)];
        if (endsInput && game.status === null) shown.push(game.endInput());
        answer(shown, 'answer');
    } catch (error) {
        failed(`The game stopped unexpectedly (${error.message ?? error}).`);
    }
}

// The program ends with status 0 when its input ends; with -1 and nothing
// more written for exit or quit; with -1 after its red message for a crash
// or a refused command.
function gameEnded(status, wroteMessage) {
    const left = status === 0 || !wroteMessage;
    gameOver(left ? 'You left the game.' : 'The game is over (crashed).', ` (exit status ${status})`);
}

function gameOver(what, details = '') {
    game = null;
    editor.stop();
    const lineEnds = terminal.buffer.active.cursorX > 0 ? '\r\n\r\n' : '\r\n';
    // The cursor hides until the next game, which has it shown again.
    terminal.write(`${lineEnds}\x1b[90m[${what} Press Enter for a new game.]\x1b[0m\x1b[?25l`);
    setState('ended', `${what} Press Enter or New game to play again.${details}`);
}

// Something kept the game from starting or going on: what, in the player's
// words, in red.
function failed(message) {
    terminal.write(`\r\n\x1b[31m${message}\x1b[0m`, () => gameOver('No game is running.'));
}

async function newGame(pressedAt) {
    game = null;
    editor.stop();
    restartedAt = pressedAt;
    typedSinceRestart = false;
    if (!program) {
        // A try after a failed one starts below what said why.
        if (document.body.dataset.game === 'ended') terminal.write('\r\n\r\n');
        setState('loading', 'Loading the maze…');
        program = loadProgram();
    } else {
        setState('starting', 'Starting…');
    }
    let compiled;
    try {
        compiled = await program;
    } catch (error) {
        program = null;
        failed(error.message);
        return;
    }
    setState('starting', 'Starting…');
    try {
        game = await startGame(createKestivTerminal, compiled, { outputIsTerminal: true });
    } catch (error) {
        failed(`The game could not start (${error.message ?? error}). Reload the page to try again.`);
        return;
    }
    setState('playing', PLAYING);
    widest = widestLine(game.output);
    fitTerminal();
    answer([encoder.encode('\x1b[?25h'), game.output], 'start');
}

// Ctrl+V and Shift+Insert paste, and Ctrl+C or Ctrl+Insert copy what is
// selected, as in a Windows console: left to the browser, whose paste and
// copy the terminal then serves, rather than sent as control characters.
// Tab and Shift+Tab, which a line has no use for, move the focus on through
// the page as anywhere else.
terminal.attachCustomKeyEventHandler((event) => {
    if (event.type === 'keydown') keyPressedAt = event.timeStamp;
    const key = event.key.toLowerCase();
    const paste = (event.ctrlKey && key === 'v') || (event.shiftKey && key === 'insert');
    const copy = event.ctrlKey && (key === 'c' || key === 'insert') && terminal.hasSelection();
    return !(paste || copy || key === 'tab');
});

// Keys reach only a game that asks for lines: none typed while the program
// loads, while a game starts or after it has ended runs blind in the next.
terminal.onData((data) => {
    const pressedAt = keyPressedAt ?? performance.now();
    keyPressedAt = null;
    const state = document.body.dataset.game;
    if (state === 'ended' && /[\r\n]/.test(data)) newGame(pressedAt);
    if (state !== 'playing') return;
    const lineEndsOnly = /^[\r\n]+$/.test(data);
    if (lineEndsOnly && !typedSinceRestart && pressedAt - restartedAt < RESTART_QUIET_MS) return;
    typedSinceRestart ||= !lineEndsOnly;
    editor.feed(data);
});

newGameButton.addEventListener('click', (event) => {
    newGame(event.timeStamp);
    terminal.focus();
});

// The on-screen keys send what the keyboard's would, and leave the focus
// (and so a phone's keyboard) where it is.
const TOUCH_KEYS = { up: '\x1b[A', down: '\x1b[B', escape: '\x1b' };
for (const key of document.querySelectorAll('#touch-keys button[data-key]')) {
    key.addEventListener('pointerdown', (event) => event.preventDefault());
    key.addEventListener('click', () => terminal.input(TOUCH_KEYS[key.dataset.key]));
}

new ResizeObserver(() => editor.resize(fitTerminal)).observe(terminalElement);
scrollByTouch(terminalElement, terminal, () => terminalElement.querySelector('.xterm-screen').clientHeight / terminal.rows);

terminal.focus();
newGame(performance.now());
