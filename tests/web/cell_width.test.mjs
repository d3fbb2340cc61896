// The widths the line editor lays a line out with are the ones xterm.js draws
// with: every code point from U+00A0 up, written after a letter on a headless
// terminal, moves the cursor as far as cellWidth says.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { cellWidth } from '../../web/cell_width.js';
import { requireFromWeb } from './web_packages.mjs';

const { Terminal } = requireFromWeb('@xterm/headless');

const BATCH = 1000;

test('every code point takes the cells xterm.js gives it', async () => {
    const terminal = new Terminal({ cols: 8, rows: BATCH + 1, scrollback: 0, allowProposedApi: true });
    const differing = [];
    for (let first = 0xa0; first <= 0x10ffff; first += BATCH) {
        const codePoints = [];
        for (let codePoint = first; codePoint < Math.min(first + BATCH, 0x110000); ++codePoint) {
            if (codePoint < 0xd800 || codePoint > 0xdfff) codePoints.push(codePoint);
        }
        const lines = codePoints.map((codePoint) => `a${String.fromCodePoint(codePoint)}b\r\n`).join('');
        await new Promise((done) => terminal.write(`\x1b[H\x1b[2J${lines}`, done));
        codePoints.forEach((codePoint, row) => {
            const line = terminal.buffer.active.getLine(row);
            let column = 1;
            while (column < terminal.cols && line.getCell(column).getChars() !== 'b') ++column;
            const drawn = column - 1;
            const expected = cellWidth(String.fromCodePoint(codePoint));
            if (drawn !== expected) differing.push(`U+${codePoint.toString(16)}: ${drawn}, not ${expected}`);
        });
    }
    assert.deepEqual(differing.slice(0, 20), []);
});

test('a text takes the sum of its characters', () => {
    assert.equal(cellWidth(''), 0);
    assert.equal(cellWidth('cd alpha'), 8);
    assert.equal(cellWidth('e\u0301t\u00e9'), 3);
    assert.equal(cellWidth('\u4e2d\u6587x'), 5);
    assert.equal(cellWidth('\u{20000}'), 2);
});
