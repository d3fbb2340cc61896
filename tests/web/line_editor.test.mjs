// The page's line editor on a headless xterm.js terminal: what it hands the
// program, what the screen shows, and where the cursor stands.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { createLineEditor } from '../../web/line_editor.js';
import { requireFromWeb } from './web_packages.mjs';

const { Terminal } = requireFromWeb('@xterm/headless');

const KEY = {
    left: '\x1b[D', right: '\x1b[C', up: '\x1b[A', down: '\x1b[B', home: '\x1b[H', end: '\x1b[F',
    wordLeft: '\x1b[1;5D', wordRight: '\x1b[1;5C', delete: '\x1b[3~', backspace: '\x7f',
    escape: '\x1b', enter: '\r', ctrlZ: '\x1a',
};

// A terminal with a prompt written and an editor on it. The program's side
// answers each line with the prompt again, as the shell does.
async function editorOnTerminal({ columns = 40, prompt = 'P> ', before = '' } = {}) {
    const terminal = new Terminal({ cols: columns, rows: 12, allowProposedApi: true });
    const flushed = () => new Promise((done) => terminal.write('', done));
    const lines = [];
    let answered = Promise.resolve();
    const editor = createLineEditor(terminal, (line) => {
        lines.push(line);
        answered = new Promise((done) => terminal.write(line.echo + prompt, () => {
            editor.begin();
            done();
        }));
    });
    await new Promise((done) => terminal.write(before + prompt, done));
    editor.begin();
    return {
        terminal,
        editor,
        lines,
        // Feeds data, then waits for the answers to the lines it entered.
        async type(...data) {
            for (const piece of data) {
                editor.feed(piece);
                await answered;
                await flushed();
            }
            await answered;
            await flushed();
        },
        // The rows from the top to the last written or the cursor's, without
        // trailing blanks.
        rows() {
            const buffer = terminal.buffer.active;
            const text = (row) => buffer.getLine(row).translateToString(true).trimEnd();
            let last = buffer.baseY + buffer.cursorY;
            for (let row = last + 1; row < buffer.length; ++row) if (text(row)) last = row;
            return Array.from({ length: last + 1 }, (_, row) => text(row));
        },
        cursor() {
            const buffer = terminal.buffer.active;
            return { row: buffer.baseY + buffer.cursorY, column: buffer.cursorX };
        },
        entered: () => lines.map(({ bytes, endsInput }) => ({ text: Buffer.from(bytes).toString('latin1'), endsInput })),
    };
}

describe('editing a line', () => {
    const cases = [
        ['plain typing', ['dir'], 'dir'],
        ['insert in the middle', ['abc', KEY.left, KEY.left, 'X'], 'aXbc'],
        ['Home then Delete', ['abc', KEY.home, KEY.delete], 'bc'],
        ['Backspace after Right', ['abc', KEY.home, KEY.right, KEY.backspace], 'bc'],
        ['End after moving left', ['abc', KEY.left, KEY.left, KEY.end, 'd'], 'abcd'],
        ['Backspace at the start does nothing', ['ab', KEY.home, KEY.backspace], 'ab'],
        ['Delete at the end does nothing', ['ab', KEY.delete], 'ab'],
        ['Right at the end does nothing', ['ab', KEY.right, 'c'], 'abc'],
        ['Ctrl+Left by word', ['cd  two', KEY.wordLeft, 'X'], 'cd  Xtwo'],
        ['Ctrl+Right by word', ['one two', KEY.home, KEY.wordRight, 'X'], 'one Xtwo'],
        ['Esc clears the line', ['abc', KEY.escape, 'd'], 'd'],
        ['other control characters are dropped', ['a\tb\x01c'], 'abc'],
        ['an unknown key is dropped', ['a\x1b[15~b'], 'ab'],
        ['UTF-8 as typed', ['cd \u00e9t\u00e9'], 'cd \xc3\xa9t\xc3\xa9'],
        ['Backspace removes a character and its combining mark', ['ae\u0301', KEY.backspace], 'a'],
        ['Left steps over a wide character', ['\u4e2d\u6587', KEY.left, 'x'], '\xe4\xb8\xadx\xe6\x96\x87'],
    ];
    for (const [name, keys, line] of cases) {
        test(name, async () => {
            const s = await editorOnTerminal();
            await s.type(...keys, KEY.enter);
            assert.deepEqual(s.entered(), [{ text: `${line}\n`, endsInput: false }]);
        });
    }

    test('the line is shown as it is edited, the cursor where the keys left it', async () => {
        const s = await editorOnTerminal();
        await s.type('type note', KEY.left, KEY.left, KEY.left, KEY.left);
        assert.deepEqual(s.rows(), ['P> type note']);
        assert.deepEqual(s.cursor(), { row: 0, column: 8 });
        await s.type(KEY.backspace);
        assert.deepEqual(s.rows(), ['P> typenote']);
        assert.deepEqual(s.cursor(), { row: 0, column: 7 });
    });

    test('Enter hands the line over from anywhere in it and moves to the next row', async () => {
        const s = await editorOnTerminal();
        await s.type('dir', KEY.home, KEY.enter);
        assert.deepEqual(s.entered(), [{ text: 'dir\n', endsInput: false }]);
        assert.deepEqual(s.rows(), ['P> dir', 'P>']);
        assert.deepEqual(s.cursor(), { row: 1, column: 3 });
    });

    test('an empty line is a line', async () => {
        const s = await editorOnTerminal();
        await s.type(KEY.enter);
        assert.deepEqual(s.entered(), [{ text: '\n', endsInput: false }]);
    });
});

describe('ending input', () => {
    test('Ctrl+Z shows ^Z, and with Enter ends input', async () => {
        const s = await editorOnTerminal();
        await s.type(KEY.ctrlZ);
        assert.deepEqual(s.rows(), ['P> ^Z']);
        await s.type(KEY.enter);
        assert.deepEqual(s.entered(), [{ text: '', endsInput: true }]);
    });

    test('text before the ^Z is a last line without a line end; text after it is dropped', async () => {
        const s = await editorOnTerminal();
        await s.type('dir', KEY.ctrlZ, 'more', KEY.enter);
        assert.deepEqual(s.entered(), [{ text: 'dir', endsInput: true }]);
    });

    test('Backspace takes a ^Z back whole', async () => {
        const s = await editorOnTerminal();
        await s.type('a', KEY.ctrlZ, KEY.backspace, KEY.enter);
        assert.deepEqual(s.entered(), [{ text: 'a\n', endsInput: false }]);
    });
});

describe('history', () => {
    test('Up and Down recall entered lines, the oldest and newest staying put', async () => {
        const s = await editorOnTerminal();
        await s.type('one\r', 'two\r', 'two\r', '\r');
        const recalled = [];
        for (const key of [KEY.up, KEY.up, KEY.up, KEY.down, KEY.down]) {
            await s.type(key);
            recalled.push(s.rows().at(-1));
        }
        assert.deepEqual(recalled, ['P> two', 'P> one', 'P> one', 'P> two', 'P> two']);
    });

    test('Down before any Up, or with no history, leaves the line alone', async () => {
        const s = await editorOnTerminal();
        await s.type(KEY.up, 'a', KEY.down, KEY.enter, KEY.down);
        assert.deepEqual(s.entered()[0].text, 'a\n');
        assert.deepEqual(s.rows().at(-1), 'P>');
    });

    test('a recalled line is edited and entered as typed', async () => {
        const s = await editorOnTerminal();
        await s.type('cd alpha\r', KEY.up, KEY.backspace, KEY.backspace, 'ha', KEY.enter);
        assert.deepEqual(s.entered().map(({ text }) => text), ['cd alpha\n', 'cd alpha\n']);
        assert.deepEqual(s.editor.history, ['cd alpha']);
    });

    test('the history outlasts a stopped game', async () => {
        const s = await editorOnTerminal();
        await s.type('dir\r');
        s.editor.stop();
        s.editor.begin();
        await s.type(KEY.up);
        assert.equal(s.rows().at(-1), 'P> dir');
    });
});

describe('pasting and typing ahead', () => {
    test('pasted lines are entered one by one, each after the answer to the one before', async () => {
        const s = await editorOnTerminal();
        await s.type('dir\rcd x\r\ntyp');
        assert.deepEqual(s.entered().map(({ text }) => text), ['dir\n', 'cd x\n']);
        assert.deepEqual(s.rows(), ['P> dir', 'P> cd x', 'P> typ']);
    });

    test('keys that come before the line begins wait for it', async () => {
        const terminal = new Terminal({ cols: 40, rows: 5, allowProposedApi: true });
        const lines = [];
        const editor = createLineEditor(terminal, ({ bytes }) => lines.push(Buffer.from(bytes).toString()));
        editor.feed('dir\rcd');
        assert.deepEqual(lines, []);
        editor.begin();
        assert.deepEqual(lines, ['dir\n']);
    });

    test('a stopped game drops the keys waiting', async () => {
        const terminal = new Terminal({ cols: 40, rows: 5, allowProposedApi: true });
        const lines = [];
        const editor = createLineEditor(terminal, ({ bytes }) => lines.push(Buffer.from(bytes).toString()));
        editor.feed('dir\r');
        editor.stop();
        editor.begin();
        assert.deepEqual(lines, []);
    });
});

describe('lines longer than a row', () => {
    // Each step: the keys typed, then the rows from the prompt's on and the
    // cursor's row (counted from the prompt's) and column.
    const cases = [
        ['a line wraps as the terminal wraps it, and edits in the middle redraw it', { columns: 10 }, [
            [['abcdefghijklmnop'], ['P> abcdefg', 'hijklmnop'], [1, 9]],
            [[KEY.home, 'X'], ['P> Xabcdef', 'ghijklmnop'], [0, 4]],
            [[KEY.delete, KEY.delete, KEY.end], ['P> Xcdefgh', 'ijklmnop'], [1, 8]],
        ]],
        ['a line that fills its last row puts the cursor on the next', { columns: 10 }, [
            [['abcdefg'], ['P> abcdefg', ''], [1, 0]],
            [[KEY.backspace], ['P> abcdef'], [0, 9]],
            [['g', KEY.enter], ['P> abcdefg', 'P>'], [1, 3]],
        ]],
        ['on the bottom row too, where the terminal scrolls to make the next', { columns: 10, before: '\r\n'.repeat(11) }, [
            [['abcdefg'], ['P> abcdefg', ''], [1, 0]],
            [['h', KEY.left, 'X'], ['P> abcdefg', 'Xh'], [1, 1]],
        ]],
        ['a wide character that does not fit goes whole to the next row', { columns: 10 }, [
            [['abcdef\u4e2d'], ['P> abcdef', '\u4e2d'], [1, 2]],
            [[KEY.backspace, 'x'], ['P> abcdefx', ''], [1, 0]],
        ]],
        ['a prompt that fills its row starts the line on the next', { columns: 10, prompt: '0123456789' }, [
            [['ab'], ['0123456789', 'ab'], [1, 2]],
        ]],
    ];
    for (const [name, options, steps] of cases) {
        test(name, async () => {
            const s = await editorOnTerminal(options);
            const promptRow = (options.before ?? '').split('\n').length - 1;
            for (const [keys, rows, [row, column]] of steps) {
                await s.type(...keys);
                assert.deepEqual(s.rows().slice(promptRow), rows, keys.join(''));
                assert.deepEqual(s.cursor(), { row: promptRow + row, column }, keys.join(''));
            }
        });
    }

    test('a resize draws the line anew for the new width', async () => {
        const s = await editorOnTerminal({ columns: 10 });
        await s.type('abcdefghijkl', KEY.left);
        const resized = (columns) => new Promise((done) => {
            s.editor.resize(() => {
                s.terminal.resize(columns, 12);
                s.terminal.write('', done);
            });
        });
        await resized(20);
        await s.type();
        assert.deepEqual(s.rows(), ['P> abcdefghijkl']);
        assert.deepEqual(s.cursor(), { row: 0, column: 14 });
        await resized(8);
        await s.type('X');
        assert.deepEqual(s.rows(), ['P> abcde', 'fghijkXl']);
    });
});
