// The page's messages broken into rows at spaces.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { cellWidth } from '../../web/cell_width.js';
import { wrapWords } from '../../web/word_wrap.js';

test('rows break at spaces, and only a word wider than a row breaks inside', () => {
    const cases = [
        ['fits', 'Press Enter.', 20, ['Press Enter.']],
        ['breaks at the last space that fits', 'The game is over (crashed). Press Enter', 20,
            ['The game is over', '(crashed). Press', 'Enter']],
        ['a word exactly a row wide', 'abcde fgh', 5, ['abcde', 'fgh']],
        ['a word wider than a row', 'abcdefgh ij', 5, ['abcde', 'fgh', 'ij']],
        ['runs of spaces count as one', 'a   b', 10, ['a b']],
        ['wide characters by their cells', '\u4e2d\u6587\u4e2d \u6587', 4, ['\u4e2d\u6587', '\u4e2d', '\u6587']],
        ['empty', '', 10, ['']],
    ];
    for (const [what, text, columns, expected] of cases) assert.deepEqual(wrapWords(text, columns), expected, what);
});

test('no row is wider than the width, at every width', () => {
    const text = '[The game is over (crashed). Press Enter for a new game.]';
    for (let columns = 1; columns <= text.length + 1; ++columns) {
        const rows = wrapWords(text, columns);
        for (const row of rows) assert.ok(cellWidth(row) <= columns, `${columns}: "${row}"`);
        assert.equal(rows.join(' ').replace(/ /g, ''), text.replace(/ /g, ''), `${columns}: nothing lost`);
    }
});
