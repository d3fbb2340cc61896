// Line input over an xterm.js terminal as a Windows console gives it to a
// program that reads lines: the line is typed and edited in place, and only
// Enter hands it over. Backspace, Delete, Left and Right (with Ctrl, by word),
// Home and End edit; Up and Down recall earlier lines; Esc clears the line;
// Ctrl+Z shows as ^Z and, with Enter, ends input; pasted lines are entered as
// typed ones. Keys that come while the program answers wait their turn.

import { cellWidth } from './cell_width.js';

const END_OF_INPUT = '\x1a';

const KEYS = {
    '\x1b[D': 'left', '\x1bOD': 'left', '\x1b[C': 'right', '\x1bOC': 'right',
    '\x1b[1;5D': 'wordLeft', '\x1b[1;5C': 'wordRight',
    '\x1b[A': 'up', '\x1bOA': 'up', '\x1b[B': 'down', '\x1bOB': 'down',
    '\x1b[H': 'home', '\x1bOH': 'home', '\x1b[1~': 'home',
    '\x1b[F': 'end', '\x1bOF': 'end', '\x1b[4~': 'end',
    '\x1b[3~': 'delete', '\x7f': 'backspace', '\b': 'backspace',
    '\x1b': 'escape', '\r': 'enter', '\n': 'enter', [END_OF_INPUT]: 'endOfInput',
};

const segmenter = typeof Intl.Segmenter === 'function' ? new Intl.Segmenter() : null;

// The characters of text as a reader counts them, with their offsets.
function characters(text) {
    if (segmenter) return Array.from(segmenter.segment(text), ({ segment, index }) => ({ segment, index }));
    const found = [];
    let index = 0;
    for (const segment of text) {
        found.push({ segment, index });
        index += segment.length;
    }
    return found;
}

// Splits typed or pasted data into keys (escape sequences and control
// characters, with the name of the key when it is one this editor knows) and
// runs of text, each with the data it came from.
function tokens(data) {
    const found = [];
    let text = '';
    const endText = () => {
        if (text) found.push({ raw: text, text });
        text = '';
    };
    for (let i = 0; i < data.length; ) {
        let length = 1;
        if (data[i] === '\x1b' && (data[i + 1] === '[' || data[i + 1] === 'O')) {
            length = 2;
            while (i + length < data.length && data[i + length] >= '0' && data[i + length] <= '?') ++length;
            ++length;
        }
        const raw = data.slice(i, i + length);
        const code = data.charCodeAt(i);
        if (length > 1 || code < 0x20 || code === 0x7f) {
            endText();
            // A line end pasted as CR LF is one Enter.
            const key = raw === '\n' && data[i - 1] === '\r' ? undefined : KEYS[raw];
            found.push({ raw, key });
        } else {
            text += raw;
        }
        i += length;
    }
    endText();
    return found;
}

// Where a character `width` cells wide written at `position` leaves the
// cursor, on a terminal `columns` wide that wraps as xterm.js does: one that
// does not fit on the row goes whole to the next, and a full row leaves the
// cursor past its end (column === columns) until the next one is written.
function advance(position, width, columns) {
    if (width === 0) return position;
    let { row, column } = position;
    if (column + width > columns) {
        row += 1;
        column = 0;
    }
    return { row, column: column + width };
}

// Cursor movements from one position to another, both counted from the row
// the line starts on; the rows between exist, as the line was written there.
function moveBetween(from, to) {
    let moves = '\r';
    if (to.row < from.row) moves += `\x1b[${from.row - to.row}A`;
    if (to.row > from.row) moves += `\x1b[${to.row - from.row}B`;
    if (to.column > 0) moves += `\x1b[${to.column}C`;
    return moves;
}

// Edits lines on terminal. `onLine` receives each entered line as the bytes
// a program reads (its UTF-8 with "\n" after it, or, when the line holds a
// ^Z, what comes before the ^Z alone and `endsInput` true) and as `echo`, what
// shows it entered on the terminal, to be written with the program's answer.
// The history of entered lines lasts as long as the editor.
export function createLineEditor(terminal, onLine) {
    const encoder = new TextEncoder();
    const history = [];
    let recalled = null;
    let text = '';
    let cursor = 0;
    // 'idle' until a line is asked for, 'editing', or 'waiting' while the
    // terminal catches up with the program's answer or a resize.
    let state = 'idle';
    let pending = '';
    // Counts the lines begun and the games stopped, so a resize that ends
    // after either leaves the new line alone.
    let generation = 0;
    // Screen positions, counted from the row the line starts on.
    let start = { row: 0, column: 0 };
    let shown = start;

    // What draws the line from its start and puts the cursor in it; when the
    // line fills its last row, the cursor goes on to a new one.
    const render = () => {
        const columns = terminal.cols;
        let output = moveBetween(shown, start) + '\x1b[J';
        let position = start;
        let atCursor = null;
        for (const { segment, index } of characters(text)) {
            if (index === cursor) atCursor = position;
            const drawn = segment === END_OF_INPUT ? '^Z' : segment;
            output += drawn;
            position = advance(position, cellWidth(drawn), columns);
        }
        atCursor ??= position;
        if (position.column === columns) {
            output += '\r\n';
            position = { row: position.row + 1, column: 0 };
        }
        shown = atCursor.column === columns ? { row: atCursor.row + 1, column: 0 } : atCursor;
        return output + moveBetween(position, shown);
    };

    // The line starts where the cursor is; a cursor past the end of a full
    // row goes to the next one first. Returns what moves it there.
    const anchor = () => {
        start = { row: 0, column: terminal.buffer.active.cursorX };
        shown = start;
        if (start.column < terminal.cols) return '';
        start = { row: 0, column: 0 };
        return '\r\n';
    };

    const setText = (newText, newCursor = newText.length) => {
        text = newText;
        cursor = newCursor;
    };
    const previousBoundary = () => {
        let boundary = 0;
        for (const { index } of characters(text)) if (index < cursor) boundary = index;
        return boundary;
    };
    const nextBoundary = () => {
        for (const { index } of characters(text)) if (index > cursor) return index;
        return text.length;
    };
    const wordStartBefore = () => {
        let at = cursor;
        while (at > 0 && text[at - 1] === ' ') --at;
        while (at > 0 && text[at - 1] !== ' ') --at;
        return at;
    };
    const wordStartAfter = () => {
        let at = cursor;
        while (at < text.length && text[at] !== ' ') ++at;
        while (at < text.length && text[at] === ' ') ++at;
        return at;
    };

    const insert = (typed) => {
        setText(text.slice(0, cursor) + typed + text.slice(cursor), cursor + typed.length);
        // A combining mark joins the character before it: the cursor stays
        // between whole characters.
        if (!characters(text).some(({ index }) => index === cursor)) cursor = nextBoundary();
    };

    const recall = (step) => {
        if (history.length === 0 || (recalled === null && step > 0)) return;
        recalled = Math.min(Math.max((recalled ?? history.length) + step, 0), history.length - 1);
        setText(history[recalled]);
    };

    const enter = () => {
        cursor = text.length;
        let echo = render();
        if (shown.column !== 0 || shown.row === start.row) echo += '\r\n';
        state = 'waiting';
        recalled = null;
        const endsAt = text.indexOf(END_OF_INPUT);
        const line = endsAt < 0 ? text : text.slice(0, endsAt);
        if (endsAt < 0 && line !== '' && line !== history[history.length - 1]) history.push(line);
        setText('');
        onLine({ echo, bytes: encoder.encode(endsAt < 0 ? line + '\n' : line), endsInput: endsAt >= 0 });
    };

    const actions = {
        left: () => { cursor = previousBoundary(); },
        right: () => { cursor = nextBoundary(); },
        wordLeft: () => { cursor = wordStartBefore(); },
        wordRight: () => { cursor = wordStartAfter(); },
        home: () => { cursor = 0; },
        end: () => { cursor = text.length; },
        backspace: () => {
            const from = previousBoundary();
            setText(text.slice(0, from) + text.slice(cursor), from);
        },
        delete: () => setText(text.slice(0, cursor) + text.slice(nextBoundary()), cursor),
        up: () => recall(-1),
        down: () => recall(+1),
        escape: () => {
            setText('');
            recalled = null;
        },
        endOfInput: () => insert(END_OF_INPUT),
    };

    // Carries out the keys waiting, up to the first Enter, which hands the
    // line over; the keys after it wait for the next line. Returns what shows
    // the keys carried out short of an Enter.
    const process = () => {
        const waiting = tokens(pending);
        pending = '';
        let changed = false;
        for (const [at, token] of waiting.entries()) {
            if (token.key === 'enter') {
                const rest = waiting.slice(at + 1);
                // The LF of a CR LF belongs to this Enter.
                if (token.raw === '\r' && rest[0]?.raw === '\n') rest.shift();
                pending = rest.map(({ raw }) => raw).join('') + pending;
                enter();
                return '';
            }
            if (token.text !== undefined) insert(token.text);
            else if (token.key) actions[token.key]();
            changed ||= token.text !== undefined || token.key !== undefined;
        }
        return changed ? render() : '';
    };

    // What the editor shows goes to the terminal in one write, which the
    // terminal parses at once when a key has just come.
    const edit = (before) => {
        state = 'editing';
        const output = before + process();
        if (output) terminal.write(output);
    };

    return {
        history,
        // Keys and pasted text, as the terminal's onData gives them.
        feed(data) {
            pending += data;
            if (state === 'editing') edit('');
        },
        // Starts a line at the cursor. Call it once what the program wrote
        // has reached the terminal's buffer, from a write callback.
        begin() {
            ++generation;
            edit(anchor());
        },
        // The game is over: the line and the keys waiting are dropped.
        stop() {
            ++generation;
            state = 'idle';
            pending = '';
            setText('');
            recalled = null;
        },
        // Resizes the terminal through resizeTerminal with the line taken off
        // the screen first (the terminal would wrap it anew, out of step with
        // the editor), then draws it again where the cursor lands.
        resize(resizeTerminal) {
            if (state !== 'editing') {
                resizeTerminal();
                return;
            }
            state = 'waiting';
            const resizing = generation;
            terminal.write(moveBetween(shown, start) + '\x1b[J', () => {
                resizeTerminal();
                terminal.write('', () => {
                    if (generation !== resizing) return;
                    const moved = anchor();
                    edit(moved + render());
                });
            });
        },
    };
}
