// Typed and pasted data split into keys and text runs, each with its raw data.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { END_OF_INPUT, KEYS, tokens } from '../../web/key_tokens.js';

const cases = [
    ['no data, no tokens', '', []],
    ['a text run whole', 'dir a', [{ raw: 'dir a', text: 'dir a' }]],
    ['text beyond ASCII stays text', 'cd \u00e9\u4e2d', [{ raw: 'cd \u00e9\u4e2d', text: 'cd \u00e9\u4e2d' }]],
    ['CR and LF alone are each an Enter', 'a\rb\nc', [
        { raw: 'a', text: 'a' }, { raw: '\r', key: 'enter' }, { raw: 'b', text: 'b' },
        { raw: '\n', key: 'enter' }, { raw: 'c', text: 'c' }]],
    ['CR LF is one Enter', 'a\r\nb', [
        { raw: 'a', text: 'a' }, { raw: '\r\n', key: 'enter' }, { raw: 'b', text: 'b' }]],
    ['CR CR LF is two', '\r\r\n', [{ raw: '\r', key: 'enter' }, { raw: '\r\n', key: 'enter' }]],
    ['LF CR is two Enters', '\n\r', [{ raw: '\n', key: 'enter' }, { raw: '\r', key: 'enter' }]],
    ['CSI with parameters', '\x1b[1;5Dx\x1b[3~', [
        { raw: '\x1b[1;5D', key: 'wordLeft' }, { raw: 'x', text: 'x' }, { raw: '\x1b[3~', key: 'delete' }]],
    ['SS3 keys', '\x1bOA\x1bOH', [{ raw: '\x1bOA', key: 'up' }, { raw: '\x1bOH', key: 'home' }]],
    ['an unknown sequence is one key without a name', 'a\x1b[15~b', [
        { raw: 'a', text: 'a' }, { raw: '\x1b[15~', key: undefined }, { raw: 'b', text: 'b' }]],
    ['ESC alone is Escape, and what follows it text', '\x1bx', [
        { raw: '\x1b', key: 'escape' }, { raw: 'x', text: 'x' }]],
    ['a sequence cut off at the end takes what there is', 'a\x1b[1;', [
        { raw: 'a', text: 'a' }, { raw: '\x1b[1;', key: undefined }]],
    ['control characters break text runs', 'a\tb\x01c', [
        { raw: 'a', text: 'a' }, { raw: '\t', key: undefined }, { raw: 'b', text: 'b' },
        { raw: '\x01', key: undefined }, { raw: 'c', text: 'c' }]],
    ['DEL and BS are Backspace', '\x7f\b', [{ raw: '\x7f', key: 'backspace' }, { raw: '\b', key: 'backspace' }]],
    ['Ctrl+Z ends input', `ab${END_OF_INPUT}`, [{ raw: 'ab', text: 'ab' }, { raw: END_OF_INPUT, key: 'endOfInput' }]],
];
for (const [name, data, expected] of cases) {
    test(name, () => {
        assert.deepEqual(tokens(data), expected);
    });
}

test('each key of the table is one token of its own name', () => {
    for (const [raw, key] of Object.entries(KEYS)) assert.deepEqual(tokens(raw), [{ raw, key }], JSON.stringify(raw));
});
