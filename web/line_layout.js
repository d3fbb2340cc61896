// Where a line the editor draws lands on a terminal that wraps it as xterm.js
// does, and the output that draws it. Positions count rows from the line's
// first row.

import { cellWidth } from './cell_width.js';
import { END_OF_INPUT } from './key_tokens.js';

const segmenter = typeof Intl.Segmenter === 'function' ? new Intl.Segmenter() : null;

// The characters of text as a reader counts them ({ segment, index }, index
// its offset in text).
export function characters(text) {
    if (segmenter) return Array.from(segmenter.segment(text), ({ segment, index }) => ({ segment, index }));
    const found = [];
    let index = 0;
    for (const segment of text) {
        found.push({ segment, index });
        index += segment.length;
    }
    return found;
}

// Where a character `width` cells wide written at `position` leaves the
// cursor, on a terminal `columns` wide that wraps as xterm.js does: one that
// does not fit on the row goes whole to the next, and a full row leaves the
// cursor past its end (column === columns) until the next one is written.
export function advance(position, width, columns) {
    let { row, column } = position;
    if (column + width > columns) {
        row += 1;
        column = 0;
    }
    return { row, column: column + width };
}

// Cursor movements from one position to another; the rows between exist, as
// the line was written there.
export function moveBetween(from, to) {
    let moves = '\r';
    if (to.row < from.row) moves += `\x1b[${from.row - to.row}A`;
    if (to.row > from.row) moves += `\x1b[${to.row - from.row}B`;
    if (to.column > 0) moves += `\x1b[${to.column}C`;
    return moves;
}

// What takes the line starting at `start` off the screen, the cursor being
// shown at `shown`, and leaves the cursor at the start.
export function eraseLine(start, shown) {
    return moveBetween(shown, start) + '\x1b[J';
}

// Draws text, the cursor at offset `cursor`, over the line shown from `start`
// with the cursor at `shown`: returns { output, shown }, where the cursor then
// is. A line that fills its last row puts the cursor on a new one.
export function drawLine({ text, cursor }, start, shown, columns) {
    let output = eraseLine(start, shown);
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
    const cursorShown = atCursor.column === columns ? { row: atCursor.row + 1, column: 0 } : atCursor;
    return { output: output + moveBetween(position, cursorShown), shown: cursorShown };
}

// Where a line begun with the cursor at `cursorColumn` starts: { start, moves },
// moves being what takes a cursor past the end of a full row to the next.
export function lineStart(cursorColumn, columns) {
    if (cursorColumn < columns) return { start: { row: 0, column: cursorColumn }, moves: '' };
    return { start: { row: 0, column: 0 }, moves: '\r\n' };
}
