// Whether this page plays on a game server or plays the program it downloads,
// decided once, as the page starts; in the latter case the program's download
// starts here, with the page, before the terminal's scripts are read.

import * as site from './site.js';
import { chooseServer } from './server_address.js';
import { downloadProgram } from './download.js';

export const PROGRAM_URL = new URL('kestiv-terminal.wasm', import.meta.url);

// Browsers load nothing for a page opened as a file, and some run its
// modules all the same: index.html then says what to do, and no game starts.
export const openedAsFile = location.protocol === 'file:';

// { url } of the server to play on, { problem } with a server address that
// cannot be played on, or null to play the downloaded program.
export const server = chooseServer(new URL(location.href), site);

// The program's first download, or null on a server.
export const firstDownload = server || openedAsFile ? null : downloadProgram(PROGRAM_URL);
export const programModule = server || openedAsFile ? null : import('./kestiv-terminal.js');
programModule?.catch(() => {});
