// The page: kestiv's terminal in a terminal widget that fills the window.
// A game is either a fresh instance of the downloaded program, whose module is
// compiled once, or a connection to a game server (play_mode.js decides which,
// once). The line editor, and so the history of entered lines, lasts as long
// as the page.
//
// What a page around it, a test or a benchmark may rely on: the module exports
// the page's `terminal` (the xterm.js Terminal the game is played on), and the
// document gets a `kestiv-shown` event once what the game wrote is in that
// terminal, with detail 'start' for a game's start and 'answer' for the answer
// to a line (on a server, the first part of it to come).

import { Terminal } from './xterm/xterm.js';
import { createLineEditor } from './line_editor.js';
import { startGame } from './program.js';
import { downloadProgram } from './download.js';
import { fitTerminal, widestLine } from './font_fit.js';
import { scrollByTouch } from './touch_scroll.js';
import { themeFromStyle } from './terminal_theme.js';
import { connectGame } from './server_game.js';
import { createServerLines } from './server_lines.js';
import { createPromptWatch } from './game_prompt.js';
import { createAnnouncer } from './announcer.js';
import { lastSpokenLine } from './spoken_text.js';
import { wrapWords } from './word_wrap.js';
import { copyRowOnLongPress } from './row_copy.js';
import { PROGRAM_URL, firstDownload, openedAsFile, programModule, server } from './play_mode.js';

const touchFirst = matchMedia('(pointer: coarse)').matches;
const reducedMotion = matchMedia('(prefers-reduced-motion: reduce)');
const PLAYING = touchFirst
    ? 'Swipe the terminal to scroll back; hold a row to copy it. Up, Down: earlier lines. Esc: clear the line.'
    : 'Up and Down recall earlier lines, Esc clears the line, Ctrl+Z then Enter ends input.';
const WAITING = 'Waiting for the game server to start your game…';
// A second press of the key that started a game, as people press Enter
// twice (up to about 400 ms apart), is not the new game's first line: an
// Enter this soon after it, with nothing typed before, is dropped.
const RESTART_QUIET_MS = 800;
// The room xterm.js keeps on the right for its scroll bar, which touch
// screens do not draw (page.css hides it there).
const SCROLL_BAR_GUTTER = touchFirst ? 0 : 14;

const statusLine = document.getElementById('status');
if (!touchFirst) document.getElementById('narrow-hint').textContent = 'Widen the window or zoom out to see whole lines.';
const newGameButton = document.getElementById('new-game');
const guide = document.getElementById('guide');
const terminalElement = document.getElementById('terminal');
export const terminal = new Terminal({
    convertEol: true,
    cursorBlink: !reducedMotion.matches,
    scrollback: 10000,
    fontFamily: '"Cascadia Mono", Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace',
    fontSize: 16,
    theme: themeFromStyle(),
});
reducedMotion.addEventListener('change', () => {
    terminal.options.cursorBlink = !reducedMotion.matches;
});

// The Screen reader setting: what the game says goes to a live region of the
// page's own (announcer.js), on by default and remembered. xterm.js's own
// screen reader mode stays off: it reads out every redraw of the line being
// typed, and takes no text that comes without a key press, as dictation and
// a phone's suggestions send it.
const screenReader = document.getElementById('screen-reader');
screenReader.checked = localStorage.getItem('kestiv-screen-reader') !== 'false';
screenReader.addEventListener('change', () => {
    localStorage.setItem('kestiv-screen-reader', String(screenReader.checked));
});
const announcer = createAnnouncer(document.getElementById('spoken'), () => screenReader.checked);

terminal.open(terminalElement);
// The widest line of a game's start, which the font is sized to fit, and the
// terminal's box when the font was last chosen.
let widest = 0;
let fittedFor = null;

// Fits the terminal to its box. The font is chosen anew only when the box's
// width or the widest line changed: a box that only grew or shrank in height
// (a bar below that changed) keeps it.
function fitToBox() {
    const style = getComputedStyle(terminalElement);
    const box = {
        width: terminalElement.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight),
        height: terminalElement.clientHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom),
    };
    if (box.width <= 0) return;
    const sameWidth = fittedFor && fittedFor.width === box.width && fittedFor.widest === widest;
    const columns = sameWidth ? 0 : widest;
    const fits = fitTerminal(terminal, { box, gutter: SCROLL_BAR_GUTTER, columns, keepFont: sameWidth });
    if (fits !== null && !sameWidth) {
        fittedFor = { width: box.width, widest };
        document.body.dataset.narrow = !fits;
    }
}
fitToBox();

const encoder = new TextEncoder();
const decoder = new TextDecoder();

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
let firstDownloadUnused = firstDownload !== null;

function setState(state, status) {
    document.body.dataset.game = state;
    statusLine.textContent = status;
}

const megabytes = (bytes) => (bytes / 1e6).toFixed(1);

// Downloads and compiles the program, its progress on the terminal's last
// line; then says it starts. The first download began with the page.
async function loadProgram(download) {
    const progressLine = (received, total) => {
        const of = total === null ? '' : ` of ${megabytes(total)}`;
        return `\r\x1b[2KLoading the maze: ${megabytes(received)}${of} MB`;
    };
    // Drawn at most once a frame: the bytes come in many small pieces.
    let drawing = 0;
    let drawn = false;
    const showProgress = () => {
        drawing ||= requestAnimationFrame(() => {
            drawing = 0;
            drawn = true;
            terminal.write(progressLine(download.received, download.total));
        });
    };
    download.onProgress = showProgress;
    if (download.received > 0) showProgress();
    let compiled;
    try {
        compiled = await download.compiled;
    } finally {
        cancelAnimationFrame(drawing);
        download.onProgress = null;
    }
    const whole = drawn || download.received > 0 ? progressLine(download.received, download.total) : '';
    terminal.write(`${whole}\r\n\r\nStarting…`);
    return compiled;
}

// A game of the downloaded program: each line's answer is there as soon as
// the line is entered, and is shown with the line in one write (the terminal
// parses a write that follows a key at once).
const localPlay = {
    enterLine({ echo, bytes, endsInput }) {
        const shown = [encoder.encode(echo), game.enter(bytes)];
        if (endsInput && game.status === null) shown.push(game.endInput());
        const answered = game;
        writeOutput(shown, () => {
            if (answered !== game) return;
            announcer.output(decoder.decode(shown[1]));
            if (endsInput && shown[2]) announcer.output(decoder.decode(shown[2]));
            announcer.flush();
            document.dispatchEvent(new CustomEvent('kestiv-shown', { detail: 'answer' }));
            if (game.status === null) editor.begin();
            else localGameEnded(game.status, shown.at(-1).length > 0);
        });
    },
};

// Writes the parts of what is shown in one write, then calls done.
function writeOutput(parts, done) {
    const joined = new Uint8Array(parts.reduce((length, part) => length + part.length, 0));
    let at = 0;
    for (const part of parts) {
        joined.set(part, at);
        at += part.length;
    }
    terminal.write(joined, done);
}

// The program ends with status 0 when its input ends; with -1 and nothing
// more written for exit or quit; with -1 after its red message for a crash
// or a refused command.
function localGameEnded(status, wroteMessage) {
    const left = status === 0 || !wroteMessage;
    gameOver(left ? 'You left the game.' : 'The game is over (crashed).', ` (exit status ${status})`);
}

// Starts a game of the downloaded program, downloading it first if need be;
// resolves to the game, or to null when it could not start or isCurrent()
// says a later game was asked for meanwhile.
async function startLocalGame(isCurrent) {
    if (!program) {
        // A try after a failed one starts below what said why.
        if (document.body.dataset.game === 'ended') terminal.write('\r\n');
        setState('loading', 'Loading the maze…');
        const download = firstDownloadUnused ? firstDownload : downloadProgram(PROGRAM_URL);
        firstDownloadUnused = false;
        program = loadProgram(download);
    }
    let compiled;
    let createModule;
    try {
        compiled = await program;
        createModule = (await programModule).default;
    } catch (error) {
        program = null;
        if (isCurrent()) failed(error.message ?? String(error));
        return null;
    }
    if (!isCurrent()) return null;
    setState('starting', 'Starting…');
    try {
        const started = await startGame(createModule, compiled, { outputIsTerminal: true });
        return isCurrent() ? started : null;
    } catch (error) {
        if (isCurrent()) failed(`The game could not start (${error.message ?? error}). Reload the page to try again.`);
        return null;
    }
}

// A game on a server: its output comes when it comes, in pieces, and is
// shown above the line being typed. A line begins once the game has asked for
// it with its prompt, so that the keys typed or pasted meanwhile wait for it,
// as they wait for the downloaded program's answer. Before the game's own
// output the server may keep the player in line, a line of its own at a time;
// the game then starts on the same connection.
function startServerGame() {
    setState('starting', 'Connecting to the game server…');
    // No cursor until the game asks for a line: there is nothing to type.
    terminal.write(HIDE_CURSOR);
    // From the game's start until the first line is entered, what comes is
    // the start.
    let what = null;
    let shownAs = null;
    const serverLines = createServerLines();
    const prompts = createPromptWatch();
    const show = (parts) => {
        for (const part of parts) {
            if (part.line !== undefined) showServerLine(part.line);
            else showGameOutput(part.game);
        }
    };
    // The server's own line, broken at spaces as the page's own are.
    const showServerLine = (text) => {
        if (what === null) setState('waiting', WAITING);
        announcer.say(text);
        editor.output(`${wrapWords(text, terminal.cols).join('\r\n')}\r\n`);
    };
    const showGameOutput = (bytes) => {
        const starting = what === null;
        if (starting) {
            what = 'start';
            setState('playing', PLAYING);
            terminal.write(SHOW_CURSOR);
        }
        if (what === 'start') {
            // The font fits the game's start, whatever the server said before.
            const wider = widestLine(bytes);
            if (wider > widest) {
                widest = wider;
                fitToBox();
            }
        }
        const detail = what;
        const first = shownAs !== detail;
        shownAs = detail;
        const shape = detail === 'start' ? (text) => `New game. ${lastSpokenLine(text)}` : undefined;
        announcer.output(decoder.decode(bytes, { stream: true }), shape);
        editor.output(bytes, () => {
            if (first && game === connected) document.dispatchEvent(new CustomEvent('kestiv-shown', { detail }));
        });
        if (prompts.take(bytes)) editor.beginAfterOutput();
    };
    const connected = connectGame(server.url, {
        onOutput(bytes) {
            if (game === connected) show(serverLines.take(bytes));
        },
        onEnd(ending) {
            if (game !== connected) return;
            show(serverLines.end());
            announcer.flush();
            if (ending === 'unreachable') {
                failed(`The game server at ${server.url} could not be reached. Check that you are online, then try again.`);
            } else if (ending === 'lost') {
                gameOver('The connection to the game server was lost.');
            } else {
                gameOver('The game is over.');
            }
        },
    });
    connected.enterLine = ({ echo, bytes, endsInput }) => {
        what = 'answer';
        shownAs = null;
        terminal.write(echo);
        if (bytes.length > 0) connected.enter(bytes);
        if (endsInput) {
            connected.endInput();
            gameOver('You left the game.');
        }
    };
    game = connected;
}

function enterLine(entered) {
    guide.hidden = true;
    const line = decoder.decode(entered.bytes).replace(/\n$/, '');
    announcer.say(entered.endsInput ? `${line} (end of input)` : line);
    try {
        (game.enterLine ?? localPlay.enterLine)(entered);
    } catch (error) {
        failed(`The game stopped unexpectedly (${error.message ?? error}).`);
    }
}

const GREY = '\x1b[90m';
const RED = '\x1b[31m';
const HIDE_CURSOR = '\x1b[?25l';
const SHOW_CURSOR = '\x1b[?25h';

// The game is over: a line in grey says so and how to play again. The status
// line says the same, with `details`.
function gameOver(what, details = '') {
    endGame([[GREY, `[${what} Press Enter for a new game.]`]], `${what} Press Enter or New game to play again.${details}`, what);
}

// Something kept the game from starting or going on: what, in the player's
// words, in red; the status line says the same.
function failed(message) {
    endGame([[RED, message], [GREY, ''], [GREY, '[Press Enter to try again.]']],
        `${message} Press Enter or New game to try again.`, message);
}

// Ends the game with `rows` ([colour, text] pairs) on the terminal, each
// wrapped at spaces to its width, the cursor left below them and hidden until
// the next game shows it again (a resize rewraps every row but the cursor's);
// `status` on the status line, and `spoken` for a screen reader.
function endGame(rows, status, spoken) {
    const erase = editor.stop();
    game?.close?.();
    game = null;
    const lineEnds = erase || terminal.buffer.active.cursorX > 0 ? '\r\n\r\n' : '\r\n';
    const shown = rows.map(([colour, text]) => `${colour}${wrapWords(text, terminal.cols).join('\r\n')}\x1b[0m`);
    terminal.write(`${erase}${lineEnds}${shown.join('\r\n')}\r\n${HIDE_CURSOR}`);
    setState('ended', status);
    announcer.say(spoken);
}

// Counts the games asked for, so that a start that a later one overtook while
// the program came lets it be.
let gamesAsked = 0;

async function newGame(pressedAt) {
    const asked = ++gamesAsked;
    const previous = game;
    game = null;
    previous?.close?.();
    editor.stop();
    restartedAt = pressedAt;
    typedSinceRestart = false;
    if (server?.problem) {
        failed(server.problem);
        return;
    }
    if (server) {
        widest = 0;
        startServerGame();
        return;
    }
    const started = await startLocalGame(() => asked === gamesAsked);
    if (!started) return;
    game = started;
    setState('playing', PLAYING);
    widest = widestLine(game.output);
    fitToBox();
    const output = game.output;
    writeOutput([encoder.encode(SHOW_CURSOR), output], () => {
        if (game !== started) return;
        announcer.say(`New game. ${lastSpokenLine(decoder.decode(output))}`);
        document.dispatchEvent(new CustomEvent('kestiv-shown', { detail: 'start' }));
        if (game.status === null) editor.begin();
        else localGameEnded(game.status, output.length > 0);
    });
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

new ResizeObserver(() => editor.resize(fitToBox)).observe(terminalElement);
const rowHeight = () => terminalElement.querySelector('.xterm-screen').clientHeight / terminal.rows;
scrollByTouch(terminalElement, terminal, rowHeight, { coasts: () => !reducedMotion.matches });
copyRowOnLongPress(terminalElement, terminal, rowHeight, document.getElementById('copied'));

terminal.focus();
if (!openedAsFile) newGame(performance.now());
