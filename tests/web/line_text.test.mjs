// The text of a line and its cursor, edited by whole characters and words.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import {
    backspace, deleteForward, insert, nextBoundary, previousBoundary, wordStartAfter, wordStartBefore,
} from '../../web/line_text.js';

// A line written with '|' where its cursor is.
function line(marked) {
    return { text: marked.replace('|', ''), cursor: marked.indexOf('|') };
}
function marked({ text, cursor }) {
    return `${text.slice(0, cursor)}|${text.slice(cursor)}`;
}

describe('where the cursor moves to', () => {
    // Each: the move, the line before, the line with the cursor moved.
    const cases = [
        [previousBoundary, 'ab|c', 'a|bc'],
        [previousBoundary, '|abc', '|abc'],
        [previousBoundary, 'ae\u0301|', 'a|e\u0301'],
        [previousBoundary, '\u{1f600}|', '|\u{1f600}'],
        [nextBoundary, 'a|bc', 'ab|c'],
        [nextBoundary, 'abc|', 'abc|'],
        [nextBoundary, 'a|e\u0301b', 'ae\u0301|b'],
        [wordStartBefore, 'cd  two|', 'cd  |two'],
        [wordStartBefore, 'cd  |two', '|cd  two'],
        [wordStartBefore, 'cd  tw|o', 'cd  |two'],
        [wordStartBefore, '|cd', '|cd'],
        [wordStartAfter, '|one two', 'one |two'],
        [wordStartAfter, 'o|ne  two', 'one  |two'],
        [wordStartAfter, 'one |two', 'one two|'],
        [wordStartAfter, 'one|', 'one|'],
    ];
    for (const [move, before, after] of cases) {
        test(`${move.name} from ${before}`, () => {
            const from = line(before);
            assert.equal(marked({ text: from.text, cursor: move(from) }), after);
        });
    }
});

describe('edits', () => {
    // Each: the edit, the line before, the line after.
    const cases = [
        ['insert at the end', (l) => insert(l, 'cd'), 'dir|', 'dircd|'],
        ['insert in the middle', (l) => insert(l, 'X'), 'a|b', 'aX|b'],
        ['a combining mark joins the character before it', (l) => insert(l, '\u0301'), 'e|x', 'e\u0301|x'],
        ['a letter typed before a lone mark: the cursor goes past both', (l) => insert(l, 'e'),
            '|\u0301x', 'e\u0301|x'],
        ['half a flag typed before the other half: the cursor goes past the flag', (l) => insert(l, '\u{1f1eb}'),
            '|\u{1f1f7}', '\u{1f1eb}\u{1f1f7}|'],
        ['Backspace takes the character with its mark', backspace, 'ae\u0301|b', 'a|b'],
        ['Backspace at the start does nothing', backspace, '|ab', '|ab'],
        ['Backspace takes a surrogate pair whole', backspace, 'a\u{1f600}|', 'a|'],
        ['Delete takes the character at the cursor with its mark', deleteForward, 'a|e\u0301b', 'a|b'],
        ['Delete at the end does nothing', deleteForward, 'ab|', 'ab|'],
    ];
    for (const [name, edit, before, after] of cases) {
        test(name, () => assert.equal(marked(edit(line(before))), after));
    }
});
