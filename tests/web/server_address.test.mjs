// Which server the page plays on, from the site's settings and the page's
// address.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { chooseServer } from '../../web/server_address.js';

const OPEN = { server: '', serverParameter: true };
const CLOSED = { server: '', serverParameter: false };
const FIXED = { server: 'wss://games.example/kestiv', serverParameter: true };

test('the site, the parameter and the page decide the server', () => {
    const cases = [
        ['no parameter: the downloaded program', 'http://host/', OPEN, null],
        ['a ws:// parameter', 'http://host/?server=ws://127.0.0.1:8081/', OPEN, { url: 'ws://127.0.0.1:8081/' }],
        ['an escaped wss:// parameter with a path', 'https://host/?server=wss%3A%2F%2Fgames.example%2Fplay', OPEN,
            { url: 'wss://games.example/play' }],
        ['the parameter turned off', 'http://host/?server=ws://127.0.0.1:8081/', CLOSED, null],
        ['the site\'s own server over the parameter', 'http://host/?server=ws://127.0.0.1:8081/', FIXED,
            { url: 'wss://games.example/kestiv' }],
        ['the site\'s own server without one', 'http://host/', { ...FIXED, serverParameter: false },
            { url: 'wss://games.example/kestiv' }],
    ];
    for (const [what, page, site, expected] of cases) assert.deepEqual(chooseServer(new URL(page), site), expected, what);
});

test('an address the page cannot play on is refused in words', () => {
    const cases = [
        ['http://host/?server=http://127.0.0.1:8081/', /must start with ws:\/\/ or wss:\/\//],
        ['http://host/?server=127.0.0.1:8081', /is not a whole address/],
        ['http://host/?server=', /is not a whole address/],
        ['http://host/?server=games', /is not a whole address/],
        ['https://host/?server=ws://games.example/', /came over HTTPS, so it can reach only a wss:\/\/ server/],
    ];
    for (const [page, problem] of cases) {
        const chosen = chooseServer(new URL(page), OPEN);
        assert.match(chosen?.problem ?? '', problem, page);
    }
});
