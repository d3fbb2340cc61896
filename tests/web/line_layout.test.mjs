// The layout of a line that wraps as xterm.js wraps it, worked out alone and
// held against a headless xterm.js terminal.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { advance, characters, drawLine, eraseLine, lineStart, moveBetween } from '../../web/line_layout.js';
import { requireFromWeb } from './web_packages.mjs';

const { Terminal } = requireFromWeb('@xterm/headless');

const at = (row, column) => ({ row, column });

test('characters count a combining mark with its letter and a wide character once', () => {
    assert.deepEqual(characters(''), []);
    assert.deepEqual(characters('ae\u0301\u4e2d'), [
        { segment: 'a', index: 0 }, { segment: 'e\u0301', index: 1 }, { segment: '\u4e2d', index: 3 }]);
});

describe('advance on a row 10 wide', () => {
    const cases = [
        ['a character that fits', at(0, 3), 1, at(0, 4)],
        ['the last cell fills the row: the cursor stays past its end', at(0, 9), 1, at(0, 10)],
        ['a wide character that just fits fills the row', at(0, 8), 2, at(0, 10)],
        ['a wide character that does not fit goes whole to the next row', at(0, 9), 2, at(1, 2)],
        ['after a full row the next character starts the next', at(0, 10), 1, at(1, 1)],
        ['a zero-width character does not move, even past a full row', at(0, 10), 0, at(0, 10)],
    ];
    for (const [name, from, width, to] of cases) {
        test(name, () => assert.deepEqual(advance(from, width, 10), to));
    }
});

test('moveBetween goes to the start of the row, then up or down, then right', () => {
    const cases = [
        [at(0, 5), at(0, 0), '\r'],
        [at(0, 5), at(0, 3), '\r\x1b[3C'],
        [at(2, 1), at(0, 3), '\r\x1b[2A\x1b[3C'],
        [at(0, 7), at(1, 0), '\r\x1b[1B'],
    ];
    for (const [from, to, moves] of cases) assert.deepEqual(moveBetween(from, to), moves, JSON.stringify([from, to]));
    assert.equal(eraseLine(at(0, 3), at(1, 4)), '\r\x1b[1A\x1b[3C\x1b[J');
});

test('lineStart puts a cursor past the end of a full row on the next', () => {
    assert.deepEqual(lineStart(3, 10), { start: at(0, 3), moves: '' });
    assert.deepEqual(lineStart(0, 10), { start: at(0, 0), moves: '' });
    assert.deepEqual(lineStart(10, 10), { start: at(0, 0), moves: '\r\n' });
});

// Each: the text and cursor drawn after a prompt 3 cells wide on a terminal
// 10 wide, then what is drawn after the erase and where the cursor is shown.
describe('drawLine', () => {
    const cases = [
        ['an empty line', '', 0, '\r\x1b[3C', at(0, 3)],
        ['the cursor at the end', 'ab', 2, 'ab\r\x1b[5C', at(0, 5)],
        ['the cursor in the middle of a wrapped line', 'abcdefghij', 2, 'abcdefghij\r\x1b[1A\x1b[5C', at(0, 5)],
        ['a line that fills its row puts the cursor on the next', 'abcdefg', 7, 'abcdefg\r\n\r', at(1, 0)],
        ['a cursor past the end of a full row goes to the next', 'abcdefgh', 7, 'abcdefgh\r', at(1, 0)],
        ['a wide character that does not fit is drawn on the next row', 'abcdef\u4e2d', 7,
            'abcdef\u4e2d\r\x1b[2C', at(1, 2)],
        ['Ctrl+Z is drawn as ^Z, two cells', 'a\x1a', 2, 'a^Z\r\x1b[6C', at(0, 6)],
        ['a combining mark takes no cell', 'e\u0301x', 3, 'e\u0301x\r\x1b[5C', at(0, 5)],
    ];
    for (const [name, text, cursor, drawn, shown] of cases) {
        test(name, async () => {
            const start = at(0, 3);
            const line = drawLine({ text, cursor }, start, start, 10);
            assert.deepEqual(line, { output: `${eraseLine(start, start)}${drawn}`, shown });

            const terminal = new Terminal({ cols: 10, rows: 5, allowProposedApi: true });
            await new Promise((done) => terminal.write(`P> ${line.output}`, done));
            const buffer = terminal.buffer.active;
            assert.deepEqual(at(buffer.cursorY, buffer.cursorX), shown, 'where xterm.js shows the cursor');
        });
    }

    test('a redraw erases from where the cursor was shown, rows below the start', () => {
        const { output } = drawLine({ text: 'x', cursor: 1 }, at(0, 3), at(2, 4), 10);
        assert.equal(output, '\r\x1b[2A\x1b[3C\x1b[Jx\r\x1b[4C');
    });
});
