// The page's own messages on the terminal, broken into rows at spaces, as the
// terminal would otherwise break them wherever a row ends, inside words.

import { cellWidth } from './cell_width.js';
import { characters } from './line_layout.js';

// The rows of text, each at most `columns` cells wide, broken at spaces; a
// word wider than a row is broken where the row ends.
export function wrapWords(text, columns) {
    const rows = [];
    let row = '';
    const fits = (candidate) => cellWidth(candidate) <= columns;
    for (const word of text.split(' ').filter((part) => part !== '')) {
        const joined = row === '' ? word : `${row} ${word}`;
        if (fits(joined)) {
            row = joined;
            continue;
        }
        if (row !== '') rows.push(row);
        row = '';
        for (const { segment } of characters(word)) {
            if (!fits(row + segment) && row !== '') {
                rows.push(row);
                row = '';
            }
            row += segment;
        }
    }
    if (row !== '' || rows.length === 0) rows.push(row);
    return rows;
}
