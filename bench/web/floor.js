// The page's start with nothing run, served as the page's own script beside a
// module of the program's size that does nothing: the same page opens the
// same terminal, has the module fetched and compiled as the page's program is
// (play_mode.js starts that with the page), instantiates it, and has a frame
// drawn.
import { Terminal } from './xterm/xterm.js';
import { firstDownload } from './play_mode.js';

const terminal = new Terminal({ convertEol: true, scrollback: 10000, fontSize: 16 });
terminal.open(document.getElementById('terminal'));

const module = await firstDownload.compiled;
await WebAssembly.instantiate(module, {});
requestAnimationFrame(() => performance.mark('kestiv-floor-drawn'));
