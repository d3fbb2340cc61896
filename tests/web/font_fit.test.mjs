// The terminal's font and size from its box and the widest line at start.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { cellsIn, largestFontFor, LARGEST_FONT, SMALLEST_FONT, widestLine } from '../../web/font_fit.js';

test('cells that fill a box, less a gutter on the right', () => {
    const cases = [
        [{ width: 360, height: 600 }, { width: 5.4, height: 11 }, 0, { cols: 66, rows: 54 }],
        [{ width: 360, height: 600 }, { width: 5.4, height: 11 }, 14, { cols: 64, rows: 54 }],
        [{ width: 10, height: 5 }, { width: 9.6, height: 19 }, 14, { cols: 2, rows: 1 }],
    ];
    for (const [box, cell, gutter, expected] of cases) assert.deepEqual(cellsIn(box, cell, gutter), expected);
});

test('the largest font whose columns reach the widest line', () => {
    // A cell 0.6 of the font size wide, in a box 400 pixels wide.
    const sizeAt = (fontSize) => ({ cols: Math.floor(400 / (0.6 * fontSize)), rows: 20 });
    const tried = [];
    const tracing = (fontSize) => {
        tried.push(fontSize);
        return sizeAt(fontSize);
    };
    assert.deepEqual(largestFontFor(40, tracing), { fontSize: LARGEST_FONT, size: { cols: 41, rows: 20 }, fits: true });
    assert.deepEqual(tried, [16]);
    assert.deepEqual(largestFontFor(66, sizeAt), { fontSize: 10, size: { cols: 66, rows: 20 }, fits: true });
    assert.deepEqual(largestFontFor(80, sizeAt), { fontSize: SMALLEST_FONT, size: { cols: 74, rows: 20 }, fits: false });
});

test('the widest line of output counts cells, not escapes', () => {
    const encoder = new TextEncoder();
    assert.equal(widestLine(encoder.encode('\x1b[32mab\x1b[0m\r\nabcd\r\n\u4e2d')), 4);
    assert.equal(widestLine(encoder.encode('')), 0);
});
