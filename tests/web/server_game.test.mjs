// The end mark a server sends last when it ends the connection through its
// browser bridge, read off the output in whatever pieces it comes.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createEndMarkReader } from '../../web/server_game.js';

const encoder = new TextEncoder();
const decoder = new TextDecoder();
// As kestiv-seat sends it.
const MARK = '\x1b_kestiv-end\x1b\\';

test('the mark is taken off the end of a message, in whatever pieces it came, and nowhere else', () => {
    const cases = [
        ['no mark', ['dir\r\n', "kestiv's terminal ---> \x1b[0m"], [['dir\r\n', false], ["kestiv's terminal ---> \x1b[0m", false]], ''],
        ['the mark after the last words', [`over.\r\n${MARK}`], [['over.\r\n', true]], ''],
        ['the mark alone', [MARK], [['', true]], ''],
        ['the mark in pieces', ['over.\x1b', '_kes', 'tiv-end\x1b', '\\'], [['over.', false], ['', false], ['', false], ['', true]], ''],
        ['an escape that is no mark', ['red \x1b', '[31m'], [['red ', false], ['\x1b[31m', false]], ''],
        ['the mark with more after it', [`${MARK}more`], [[`${MARK}more`, false]], ''],
        ['the connection lost inside the mark', ['lost\x1b_kest'], [['lost', false]], '\x1b_kest'],
    ];
    for (const [what, pieces, taken, rest] of cases) {
        const reader = createEndMarkReader();
        const shown = pieces.map((piece) => {
            const { shown: bytes, marked } = reader.take(encoder.encode(piece));
            return [decoder.decode(bytes), marked];
        });
        assert.deepEqual(shown, taken, what);
        assert.equal(decoder.decode(reader.rest()), rest, what);
    }
});
