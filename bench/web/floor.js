// The page's start with nothing run: the same terminal opened, then a module
// of the program's size fetched, compiled and instantiated, and a frame drawn.
import { Terminal } from '../xterm/xterm.js';
import { FitAddon } from '../xterm/addon-fit.js';

const terminal = new Terminal({ convertEol: true, scrollback: 10000, fontSize: 16 });
const fit = new FitAddon();
terminal.loadAddon(fit);
terminal.open(document.getElementById('terminal'));
fit.fit();

const module = await WebAssembly.compileStreaming(fetch(new URL('floor.wasm', import.meta.url)));
await WebAssembly.instantiate(module, {});
requestAnimationFrame(() => performance.mark('kestiv-floor-drawn'));
