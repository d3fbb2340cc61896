// The game's asking for a line told from its output, in whatever pieces the
// output comes.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createPromptWatch } from '../../web/game_prompt.js';

const encoder = new TextEncoder();

// As the shell writes it on a terminal.
const PROMPT = "\x1b[32mkestiv's terminal ---> \x1b[0m";
const START = `\x1b[H\x1b[2J\x1b[3J\x1b[32m\r\n  .----.\r\n\x1b[0m${PROMPT}`;

test('the output asks for a line once it ends in the prompt, however its pieces cut it', () => {
    // Each: the pieces, and after each whether the output so far asks for a line.
    const cases = [
        ['a start in one piece', [START], [true]],
        ['an answer and the prompt in one piece', [`README.txt\r\n${PROMPT}`], [true]],
        ['the answer, then the prompt', ['README.txt\r\n', PROMPT], [false, true]],
        ['the prompt alone after nothing', [PROMPT], [true]],
        ['the prompt cut in its colour', [PROMPT.slice(0, 2), PROMPT.slice(2)], [false, true]],
        ['the prompt cut in its text', ['dir\r\n\x1b[32mkestiv', "'s terminal ---> ", '\x1b[0m'], [false, false, true]],
        ['the prompt a byte at a time', [...PROMPT], [...Array(PROMPT.length - 1).fill(false), true]],
        ['empty pieces after the prompt leave it so', [PROMPT, '', ''], [true, true, true]],
        ['output after the prompt', [PROMPT, '\x1b[0m\r\n\r\nTime is up.\r\n'], [true, false]],
        ['the text without its colours', ["kestiv's terminal ---> "], [false]],
        ['the prompt with the line typed after it', [`${PROMPT}dir`], [false]],
        ['a crash', ['\x1b[31mOh no, CRAAAAAAAAAAASH\x1b[0m'], [false]],
    ];
    for (const [what, pieces, asks] of cases) {
        const watch = createPromptWatch();
        assert.deepEqual(pieces.map((piece) => watch.take(encoder.encode(piece))), asks, what);
    }
});
