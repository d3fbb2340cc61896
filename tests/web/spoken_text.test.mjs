// What a screen reader is given of the game's output.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { lastSpokenLine, spokenText } from '../../web/spoken_text.js';

test('the text of output, without escapes, control characters or empty lines', () => {
    const cases = [
        ['plain lines', 'a\r\nb\r\n', 'a\nb'],
        ['colours and a cleared screen', '\x1b[H\x1b[2J\x1b[3J\x1b[32mgreen\x1b[0m\r\n', 'green'],
        ['a title', '\x1b]0;title\x07text', 'text'],
        ['blank lines and trailing spaces', '\r\n\r\n  x  \r\n   \r\n', '  x'],
        ['a bare CR or LF', 'a\rb\nc', 'a\nb\nc'],
        ['a cursor move and a hidden cursor', 'a\x1b[3C\x1b[?25lb', 'ab'],
        ['nothing', '\x1b[0m\r\n', ''],
    ];
    for (const [what, written, expected] of cases) assert.equal(spokenText(written), expected, what);
});

test('the last line is what a start ends on', () => {
    assert.equal(lastSpokenLine("\x1b[32m  .--.\r\n  '--'\r\nkestiv's terminal ---> \x1b[0m"), "kestiv's terminal --->");
    assert.equal(lastSpokenLine(''), '');
});
