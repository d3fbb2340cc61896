// Line input over an xterm.js terminal as a Windows console gives it to a
// program that reads lines: the line is typed and edited in place, and only
// Enter hands it over. Backspace, Delete, Left and Right (with Ctrl, by word),
// Home and End edit; Up and Down recall earlier lines; Esc clears the line;
// Ctrl+Z shows as ^Z and, with Enter, ends input; pasted lines are entered as
// typed ones. Keys that come while the program answers wait their turn; output
// that comes while a line is being edited shows above it.

import { END_OF_INPUT, tokens } from './key_tokens.js';
import { drawLine, eraseLine, lineStart } from './line_layout.js';
import { createLineHistory } from './line_history.js';
import { resizeUnderLine } from './line_resize.js';
import {
    backspace, deleteForward, insert, nextBoundary, previousBoundary, wordStartAfter, wordStartBefore,
} from './line_text.js';

const EMPTY_LINE = { text: '', cursor: 0 };

// Edits lines on terminal. `onLine` receives each entered line as the bytes
// a program reads (its UTF-8 with "\n" after it, or, when the line holds a
// ^Z, what comes before the ^Z alone and `endsInput` true) and as `echo`, what
// shows it entered on the terminal, to be written with the program's answer.
// The history of entered lines lasts as long as the editor.
export function createLineEditor(terminal, onLine) {
    const encoder = new TextEncoder();
    const history = createLineHistory();
    let line = EMPTY_LINE;
    // 'idle' until a line is asked for, 'editing', or 'waiting' while the
    // terminal catches up with the program's answer or a resize.
    let state = 'idle';
    let pending = '';
    // Whether the line has left the screen for a resize or for output, and a
    // write still to be parsed draws it again.
    let redrawOwed = false;
    // Counts the lines begun and the games stopped, so a resize that ends
    // after either leaves the new line alone.
    let generation = 0;
    // Screen positions, counted from the row the line starts on.
    let start = { row: 0, column: 0 };
    let shown = start;

    const render = () => {
        const drawn = drawLine(line, start, shown, terminal.cols);
        shown = drawn.shown;
        return drawn.output;
    };

    // The line starts where the cursor is. Returns what moves it there.
    const anchor = () => {
        const begun = lineStart(terminal.buffer.active.cursorX, terminal.cols);
        start = begun.start;
        shown = start;
        return begun.moves;
    };

    const moveCursor = (to) => {
        line = { text: line.text, cursor: to };
    };
    const recall = (step) => {
        const recalled = history.recall(step);
        if (recalled !== undefined) line = { text: recalled, cursor: recalled.length };
    };

    const enter = () => {
        moveCursor(line.text.length);
        let echo = render();
        if (shown.column !== 0 || shown.row === start.row) echo += '\r\n';
        state = 'waiting';
        history.resetRecall();
        const endsAt = line.text.indexOf(END_OF_INPUT);
        const entered = endsAt < 0 ? line.text : line.text.slice(0, endsAt);
        if (endsAt < 0) history.add(entered);
        line = EMPTY_LINE;
        onLine({ echo, bytes: encoder.encode(endsAt < 0 ? entered + '\n' : entered), endsInput: endsAt >= 0 });
    };

    const actions = {
        left: () => moveCursor(previousBoundary(line)),
        right: () => moveCursor(nextBoundary(line)),
        wordLeft: () => moveCursor(wordStartBefore(line)),
        wordRight: () => moveCursor(wordStartAfter(line)),
        home: () => moveCursor(0),
        end: () => moveCursor(line.text.length),
        backspace: () => { line = backspace(line); },
        delete: () => { line = deleteForward(line); },
        up: () => recall(-1),
        down: () => recall(+1),
        escape: () => {
            line = EMPTY_LINE;
            history.resetRecall();
        },
        endOfInput: () => { line = insert(line, END_OF_INPUT); },
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
                pending = waiting.slice(at + 1).map(({ raw }) => raw).join('') + pending;
                enter();
                return '';
            }
            if (token.text !== undefined) line = insert(line, token.text);
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
        history: history.lines,
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
        // Starts a line where the cursor will be once everything written to
        // the terminal so far is in its buffer, for output that comes in
        // pieces at any time.
        beginAfterOutput() {
            state = 'waiting';
            redrawOwed = true;
            const waitingFor = ++generation;
            terminal.write('', () => {
                if (generation !== waitingFor) return;
                redrawOwed = false;
                ++generation;
                edit(anchor());
            });
        },
        // Writes output that came while the line may be on the screen: the
        // line leaves the screen, the output goes where it started, and the
        // line is drawn again after it. onShown, when given, is called once
        // the output is in the terminal's buffer.
        output(bytes, onShown) {
            if (state === 'idle' || (state === 'waiting' && !redrawOwed)) {
                terminal.write(bytes, onShown);
                return;
            }
            if (state === 'editing') terminal.write(eraseLine(start, shown));
            state = 'waiting';
            redrawOwed = true;
            const writing = ++generation;
            terminal.write(bytes, () => {
                onShown?.();
                if (generation !== writing) return;
                redrawOwed = false;
                const moved = anchor();
                edit(moved + render());
            });
        },
        // The game is over: the line and the keys waiting are dropped.
        // Returns what takes the line off the screen, if it is on it.
        stop() {
            const erase = state === 'editing' ? eraseLine(start, shown) : '';
            ++generation;
            state = 'idle';
            redrawOwed = false;
            pending = '';
            line = EMPTY_LINE;
            history.resetRecall();
            return erase;
        },
        // Resizes the terminal through resizeTerminal with the line taken off
        // the screen first, then draws it again where the cursor lands.
        resize(resizeTerminal) {
            if (state !== 'editing') {
                resizeTerminal();
                return;
            }
            state = 'waiting';
            redrawOwed = true;
            const resizing = generation;
            resizeUnderLine(terminal, {
                erase: eraseLine(start, shown),
                resizeTerminal,
                stillWanted: () => generation === resizing,
                redraw: () => {
                    redrawOwed = false;
                    const moved = anchor();
                    edit(moved + render());
                },
            });
        },
    };
}
