// A game server's own lines told apart from the game's output, in whatever
// pieces they come.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createServerLines } from '../../web/server_lines.js';

const encoder = new TextEncoder();
const decoder = new TextDecoder();

const IN_LINE = "kestiv's terminal is playing every game it can: you are number 2 in line. "
    + 'Stay connected: your game starts here when a seat frees.';
const GAME_START = '\x1b[H\x1b[2J\x1b[3J\x1b[32m\r\n  .----.\r\n\x1b[0m\x1b[32mkestiv\'s terminal ---> \x1b[0m';
const SHUTTING_DOWN = 'The server is shutting down: the game is over.';

// The parts of what came in `pieces` (strings, or arrays of bytes), and what
// the connection's end gives.
function rawPartsOf(pieces) {
    const lines = createServerLines();
    const parts = pieces.flatMap((piece) => lines.take(typeof piece === 'string' ? encoder.encode(piece) : Uint8Array.from(piece)));
    return [...parts, ...lines.end()];
}

// The same, the game's bytes shown as text.
const partsOf = (pieces) => rawPartsOf(pieces)
    .map((part) => (part.line !== undefined ? { line: part.line } : { game: decoder.decode(part.game) }));

test("the server's lines before the game, each whole however it came", () => {
    const cases = [
        ['a place in line in one piece', [`${IN_LINE}\r\n`], [{ line: IN_LINE }]],
        ['a line in pieces', [IN_LINE.slice(0, 30), `${IN_LINE.slice(30)}\r`, '\n'], [{ line: IN_LINE }]],
        ['two lines in one piece', ['first line\r\nsecond line\r\n'], [{ line: 'first line' }, { line: 'second line' }]],
        ['a bare line feed ends a line too', ['a line\n'], [{ line: 'a line' }]],
        ['a character cut between pieces', [[0x63, 0x61, 0x66, 0xc3], [0xa9, 0x0d, 0x0a]], [{ line: 'caf\u00e9' }]],
        ['a line the connection cut short', ['no line end'], [{ line: 'no line end' }]],
        ['nothing', [], []],
    ];
    for (const [what, pieces, expected] of cases) assert.deepEqual(partsOf(pieces), expected, what);
});

test('the game begins at its first escape sequence, on the same connection, and reaches the terminal as it came', () => {
    const cases = [
        ['a game at once', [GAME_START], [{ game: GAME_START }]],
        ['a place, then the game in the same piece', [`You are now number 1 in line.\r\n${GAME_START}`],
            [{ line: 'You are now number 1 in line.' }, { game: GAME_START }]],
        ['a place, then the game later', [`${IN_LINE}\r\n`, GAME_START], [{ line: IN_LINE }, { game: GAME_START }]],
        ['lines of prose in the game are its own', [GAME_START, 'Volume in drive C\r\n\r\nA long line of a file\r\n'],
            [{ game: GAME_START }, { game: 'Volume in drive C\r\n\r\nA long line of a file\r\n' }]],
    ];
    for (const [what, pieces, expected] of cases) assert.deepEqual(partsOf(pieces), expected, what);
});

test("after the game's start, only the line that ends a game the server ended is the server's", () => {
    const ending = `\x1b[0m\r\n\r\n${SHUTTING_DOWN}\r\n`;
    const cases = [
        ['the ending alone', [GAME_START, ending], [{ game: GAME_START }, { game: '\x1b[0m\r\n\r\n' }, { line: SHUTTING_DOWN }]],
        ['the ending after the prompt in one piece', [`${GAME_START}${ending}`],
            [{ game: `${GAME_START}\x1b[0m\r\n\r\n` }, { line: SHUTTING_DOWN }]],
        ['line feeds without carriage returns', [GAME_START, '\x1b[0m\n\nTime is up: a game lasts at most 30 minutes.\n'],
            [{ game: GAME_START }, { game: '\x1b[0m\n\n' }, { line: 'Time is up: a game lasts at most 30 minutes.' }]],
        ['text like an ending with more after it', [GAME_START, `${ending}\r\n\x1b[32mkestiv's terminal ---> \x1b[0m`],
            [{ game: GAME_START }, { game: `${ending}\r\n\x1b[32mkestiv's terminal ---> \x1b[0m` }]],
        ['a coloured line after a reset', [GAME_START, '\x1b[0m\r\n\r\n\x1b[31mOh no\r\n'],
            [{ game: GAME_START }, { game: '\x1b[0m\r\n\r\n\x1b[31mOh no\r\n' }]],
        ['one line end only', [GAME_START, `\x1b[0m\r\n${SHUTTING_DOWN}\r\n`],
            [{ game: GAME_START }, { game: `\x1b[0m\r\n${SHUTTING_DOWN}\r\n` }]],
        ['a line not ended', [GAME_START, `\x1b[0m\r\n\r\n${SHUTTING_DOWN}`],
            [{ game: GAME_START }, { game: `\x1b[0m\r\n\r\n${SHUTTING_DOWN}` }]],
    ];
    for (const [what, pieces, expected] of cases) assert.deepEqual(partsOf(pieces), expected, what);
});

test('every byte of the game, in any pieces, reaches the terminal once and in order', () => {
    const stream = `${IN_LINE}\r\nYou are now number 1 in line.\r\n${GAME_START}dir\r\n caf\u00e9\r\n`;
    const bytes = encoder.encode(stream);
    const gameStart = bytes.indexOf(0x1b);
    for (let cut = 0; cut <= bytes.length; ++cut) {
        const parts = rawPartsOf([bytes.subarray(0, cut), bytes.subarray(cut)]);
        const lines = parts.filter((part) => part.line !== undefined).map((part) => part.line);
        assert.deepEqual(lines, [IN_LINE, 'You are now number 1 in line.'], `cut at ${cut}`);
        const game = parts.filter((part) => part.game !== undefined).flatMap((part) => Array.from(part.game));
        assert.deepEqual(game, Array.from(bytes.subarray(gameStart)), `cut at ${cut}`);
    }
});
