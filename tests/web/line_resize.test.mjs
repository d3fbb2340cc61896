// A resize under a line being edited: the line leaves the screen, the terminal
// resizes, and the line is drawn again only if it is still the one edited.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { createLineEditor } from '../../web/line_editor.js';
import { resizeUnderLine } from '../../web/line_resize.js';
import { requireFromWeb } from './web_packages.mjs';

const { Terminal } = requireFromWeb('@xterm/headless');

// A terminal that takes a write only when the test says so, and logs what happens.
function heldTerminal() {
    const log = [];
    const waiting = [];
    return {
        log,
        write(data, done) {
            log.push(`write ${JSON.stringify(data)}`);
            waiting.push(done);
        },
        takeWrite() {
            waiting.shift()();
        },
    };
}

describe('resizeUnderLine', () => {
    // Each: whether the line is still wanted after each write is taken, and
    // what happens.
    const cases = [
        ['the terminal resizes once the line is off, the line is drawn once it caught up', [true, true],
            ['write "\\u001b[J"', 'resize', 'write ""', 'redraw']],
        ['a line ended while the terminal resizes is not drawn again', [true, false],
            ['write "\\u001b[J"', 'resize', 'write ""']],
        ['the line is asked about when the terminal has caught up, not before', [false, true],
            ['write "\\u001b[J"', 'resize', 'write ""', 'redraw']],
    ];
    for (const [name, wanted, expected] of cases) {
        test(name, () => {
            const terminal = heldTerminal();
            let stillWanted = true;
            resizeUnderLine(terminal, {
                erase: '\x1b[J',
                resizeTerminal: () => terminal.log.push('resize'),
                stillWanted: () => stillWanted,
                redraw: () => terminal.log.push('redraw'),
            });
            assert.deepEqual(terminal.log, ['write "\\u001b[J"']);
            for (const wantedNow of wanted) {
                stillWanted = wantedNow;
                terminal.takeWrite();
            }
            assert.deepEqual(terminal.log, expected);
        });
    }
});

// A line begun meanwhile follows a stop, which is enough to skip the redraw;
// the redraw would draw that line where it began anyway.
test('a line editor resized then stopped: the keys that come after wait for the next line', async () => {
    const terminal = new Terminal({ cols: 10, rows: 6, allowProposedApi: true });
    const settled = async () => {
        for (let i = 0; i < 4; ++i) await new Promise((done) => terminal.write('', done));
    };
    const lines = [];
    const editor = createLineEditor(terminal, ({ bytes }) => lines.push(Buffer.from(bytes).toString()));
    await new Promise((done) => terminal.write('P> ', done));
    editor.begin();
    editor.feed('abcdefghij');
    await settled();

    editor.resize(() => terminal.resize(20, 6));
    editor.stop();
    await settled();
    editor.feed('dir\r');
    await settled();
    assert.deepEqual(lines, []);
    assert.deepEqual(terminal.buffer.active.getLine(0).translateToString(true).trimEnd(), 'P>');
    await new Promise((done) => terminal.write('\r\nQ> ', done));
    editor.begin();
    assert.deepEqual(lines, ['dir\n']);
});
