// The page's start with nothing run, served as the page's own script beside a
// module of the program's size that does nothing: the same page opens the
// same terminal, fetches, compiles and instantiates that module, and has a
// frame drawn.
import { Terminal } from './xterm/xterm.js';
import { FitAddon } from './xterm/addon-fit.js';

const terminal = new Terminal({ convertEol: true, scrollback: 10000, fontSize: 16 });
const fit = new FitAddon();
terminal.loadAddon(fit);
terminal.open(document.getElementById('terminal'));
fit.fit();

const module = await WebAssembly.compileStreaming(fetch(new URL('kestiv-terminal.wasm', import.meta.url)));
await WebAssembly.instantiate(module, {});
requestAnimationFrame(() => performance.mark('kestiv-floor-drawn'));
