// The browser build's program against the native terminal built from the
// same sources: for a table of scripts on the fixture images and on the
// build's own maze, the same bytes out, nothing on standard error and the
// same exit status; whether a script comes whole or a line at a time, as the
// page sends it, and whether the output is redirected or a terminal.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

import { startGame } from '../../web/program.js';
import { listImage, nameOf, walkTo } from './maze_paths.mjs';

const { KESTIV_NATIVE_BUILD, KESTIV_WEB_BUILD, KESTIVFS, KESTIV_MAZE_IMAGE } = process.env;

const scratch = mkdtempSync(join(tmpdir(), 'kestiv-same-as-native-'));
after(() => rmSync(scratch, { recursive: true, force: true }));

// Inputs are written as one character a byte.
const bytes = (input) => Buffer.from(input, 'latin1');

function runNative(program, input) {
    const run = spawnSync(program, [], { input: bytes(input), maxBuffer: 1 << 28 });
    return { out: run.stdout, err: run.stderr, status: run.status };
}

// On a pseudo-terminal that passes the bytes through as written.
function runNativeOnTerminal(program, input) {
    const inputFile = join(scratch, 'input');
    writeFileSync(inputFile, bytes(input));
    const command = `stty raw -echo; exec '${program}' < '${inputFile}'`;
    const run = spawnSync('script', ['-q', '-e', '-E', 'never', '-c', command, '/dev/null'], {
        stdio: ['ignore', 'pipe', 'pipe'],
        maxBuffer: 1 << 28,
    });
    return { out: run.stdout, err: run.stderr, status: run.status };
}

const compiled = new Map();
async function loadProgram(module) {
    if (!compiled.has(module)) {
        const create = (await import(pathToFileURL(module))).default;
        const wasm = await WebAssembly.compile(readFileSync(module.replace(/\.mjs$/, '.wasm')));
        compiled.set(module, { create, wasm });
    }
    return compiled.get(module);
}

// The whole script in one piece, or a piece per line with its line end.
const WHOLE = (input) => [input];
const LINE_BY_LINE = (input) => input.match(/[^\n]*\n|[^\n]+$/g) ?? [];

async function runWeb(module, input, { outputIsTerminal, pieces }) {
    const { create, wasm } = await loadProgram(module);
    const game = await startGame(create, wasm, { outputIsTerminal });
    const out = [game.output];
    const err = [game.errorOutput];
    for (const piece of pieces(input)) {
        if (game.status !== null) break;
        out.push(game.enter(bytes(piece)));
        err.push(game.errorOutput);
    }
    if (game.status === null) out.push(game.endInput());
    err.push(game.errorOutput);
    // exit(-1) reaches a parent process as 255.
    return { out: Buffer.concat(out), err: Buffer.concat(err), status: game.status & 0xff };
}

function assertSameRun(web, native, what) {
    assert.equal(web.status, native.status, `${what}: exit status`);
    assert.equal(web.out.toString('latin1'), native.out.toString('latin1'), `${what}: output`);
    assert.equal(web.err.length, 0, `${what}: standard error`);
}

async function assertSameAsNative(native, web, input) {
    const redirected = runNative(native, input);
    assert.equal(redirected.err.length, 0);
    assertSameRun(await runWeb(web, input, { outputIsTerminal: false, pieces: WHOLE }), redirected, 'whole');
    assertSameRun(await runWeb(web, input, { outputIsTerminal: false, pieces: LINE_BY_LINE }), redirected, 'by line');
    const onTerminal = runNativeOnTerminal(native, input);
    assertSameRun(await runWeb(web, input, { outputIsTerminal: true, pieces: LINE_BY_LINE }), onTerminal, 'terminal');
}

const deepWalk = 'cd n\n'.repeat(5000) + 'dir\ncd ..\ncd\ndir\n';

const FIXTURE_SCRIPTS = [
    ['shell', 'end of input at the prompt', ''],
    ['shell', 'dir', 'dir\n'],
    ['shell', 'last line without a line end', 'dir'],
    ['shell', 'CR LF line end', 'dir\r\n'],
    ['shell', 'only one CR belongs to the line end', 'dir\r\r\n'],
    ['shell', 'CR without a line feed', 'dir\r'],
    ['shell', 'cls and lines that begin with it', 'cls\nclsXYZ\ncls dir\ncls\0x\n'],
    ['shell', 'CLS in capitals', 'CLS\n'],
    ['shell', 'ls refused', 'ls -la\n'],
    ['shell', 'cat refused after earlier commands', 'cd alpha\ncat README.txt\ndir\n'],
    ['shell', 'grep alone refused', 'grep\n'],
    ['shell', 'words that only begin like a Unix command', 'catalog\n'],
    ['shell', 'a tab after ls', 'ls\t-l\n'],
    ['shell', 'dir with a space', 'dir \n'],
    ['shell', 'dir with a NUL', 'dir\0\n'],
    ['shell', 'cd down, up and home', 'cd alpha\ncd beta\ncd gamma\ncd ..\ndir\ncd\ndir\n'],
    ['shell', 'cd .. at the root stays there', 'cd ..\ncd ..\ndir\n'],
    ['shell', 'cd to a missing name', 'cd nowhere\n'],
    ['shell', 'cd to a name in other case', 'cd Alpha\n'],
    ['shell', 'cd does not split paths', 'cd alpha/beta\n'],
    ['shell', 'cd to a name with a space', 'cd with space\ndir\n'],
    ['shell', 'cd to the empty name', 'cd \ndir\ncd alpha\ncd \n'],
    ['shell', 'duplicate names reach the first', 'cd dup\ndir\n'],
    ['shell', 'cd into a regular file', 'cd note.txt\ndir\ntype note.txt\n'],
    ['shell', 'a regular file with children', 'cd plain.bin\ndir\ncd under\ncd\ndir\n'],
    ['shell', 'UTF-8 name', 'cd \xc3\xa9t\xc3\xa9\n'],
    ['shell', 'exit', 'cd alpha\ndir\nexit\ndir\n'],
    ['shell', 'quit without a line end', 'quit'],
    ['shell', 'exit with a space', 'exit \n'],
    ['shell', 'empty line', '\n'],
    ['shell', 'CR LF alone', '\r\n'],
    ['shell', 'anything else', 'help\n'],
    ['shell', 'type README.txt as stored', 'type README.txt\ncd alpha\ntype README.txt\n'],
    ['shell', 'type of stored files, twice', 'type note.txt\ntype note.txt\ncd alpha\ntype secret.txt\n'],
    ['shell', 'type of an empty text', 'type empty.txt\n'],
    ['shell', 'type writes control and NUL bytes whole', 'type binary.dat\n'],
    ['shell', 'type of a regular file with children', 'type plain.bin\n'],
    ['shell', 'type of a name in other case', 'type readme.txt\n'],
    ['shell', 'type of a directory', 'type alpha\n'],
    ['shell', 'type of a node of another kind', 'type odd\n'],
    ['shell', 'type alone', 'type\n'],
    ['shell', 'type of the empty name', 'cd \ntype blank-child.txt\ncd ..\ntype \n'],
    ['shell', 'a line of a megabyte', `cd ${'x'.repeat(1 << 20)}\n`],
    ['shell', 'many commands', 'cd alpha\ncd ..\n'.repeat(2000) + 'dir\n'],
    ['big-content', 'a text longer than 64 KiB', 'type big.txt\ndir\ncd after\ndir\n'],
    ['bad-contents', 'pads of zero and one', 'type pad-zero\ntype pad-one\n'],
    ['bad-contents', 'an empty stored content', 'type empty-content\n'],
    ['bad-contents', 'a partial block', 'type partial-block\n'],
    ['bad-contents', 'a pad longer than the content', 'type pad-past-end\n'],
    ['empty', 'an empty root', 'dir\ncd ..\ndir\n'],
    ['version-negative', 'a negative version', 'dir\n'],
    ['version-one', 'an unsupported version', 'dir\n'],
    ['bad-magic', 'a bad magic', 'dir\n'],
    ['no-bytes', 'an image of no bytes', 'dir\n'],
    ['cut-in-magic', 'an image cut in its magic', 'dir\n'],
    ['header-only', 'a header alone', 'dir\n'],
    ['cut-in-child-name', 'an image cut in a name', 'dir\n'],
    ['cut-in-content', 'an image cut in a content', 'dir\n'],
    ['huge-count', 'a child count past the end', 'dir\n'],
    ['trailing-bytes', 'bytes after the last node', 'dir\n'],
    ['deep-chain', 'a chain 5,000 levels deep', deepWalk],
];

describe('fixture images', () => {
    for (const [fixture, name, input] of FIXTURE_SCRIPTS) {
        test(`${fixture}: ${name}`, () =>
            assertSameAsNative(
                join(KESTIV_NATIVE_BUILD, 'fixtures', `fixture-${fixture}`),
                join(KESTIV_WEB_BUILD, 'fixtures', `fixture-${fixture}.mjs`),
                input,
            ));
    }
});

// Walks on the maze itself, found from its listing, so any maze a build
// links in is walked.
function mazeScripts() {
    const nodes = listImage(KESTIVFS, KESTIV_MAZE_IMAGE);
    const reachable = nodes.filter((node) => node.names.every((name) => !/[\r\n]/.test(name)));
    const files = reachable.filter((node) => node.kind === 'file');
    const directories = reachable.filter((node) => node.kind === 'directory' && node.names.length > 0);
    const scripts = [
        ['dir at the root', 'dir\n'],
        ['every file at the root', files.filter((node) => node.names.length === 1).map((node) => `type ${nameOf(node)}\n`).join('')],
        ['a directory shown as a file', directories.length ? `type ${nameOf(directories[0])}\n` : 'type\n'],
    ];
    if (files.length === 0) return scripts;
    const deepest = files.reduce((a, b) => (b.names.length > a.names.length ? b : a));
    const largest = files.reduce((a, b) => (b.size > a.size ? b : a));
    const showDeepest = `type ${nameOf(deepest)}\n`;
    return [
        ...scripts,
        ['down to the deepest file and back', `${walkTo(deepest)}dir\n${showDeepest}${showDeepest}cd ..\ndir\ncd\ndir\nexit\n`],
        ['the largest file, then a wrong turn', `${walkTo(largest)}type ${nameOf(largest)}\ncd ${nameOf(largest)}x\n`],
        ['cls on the way, CR LF line ends', `${walkTo(deepest)}cls\n${showDeepest}`.replaceAll('\n', '\r\n')],
    ];
}

describe('the maze', () => {
    for (const [name, input] of mazeScripts()) {
        test(name, () =>
            assertSameAsNative(join(KESTIV_NATIVE_BUILD, 'kestiv-terminal'), join(KESTIV_WEB_BUILD, 'kestiv-terminal.mjs'), input));
    }
});
