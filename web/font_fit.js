// The terminal's font size on narrow screens: as large as lets the widest
// line the game writes at start (its banner) fit the width, from the desktop
// size down to a legible minimum.

import { cellWidth } from './cell_width.js';

const LARGEST_FONT = 16;
const SMALLEST_FONT = 9;

// The widest line, in cells, of what a program wrote (UTF-8 bytes with ANSI
// escape sequences).
export function widestLine(bytes) {
    const text = new TextDecoder().decode(bytes).replace(/\x1b\[[0-?]*[ -\/]*[@-~]/g, '');
    return Math.max(0, ...text.split(/\r?\n/).map((line) => cellWidth(line)));
}

// Sets terminal's font to the largest size at which fitTerminal() (the fit
// addon's fit) gives it at least `columns` columns. Returns whether they fit
// at the smallest size allowed.
export function fitFontToColumns(terminal, fitTerminal, columns) {
    terminal.options.fontSize = LARGEST_FONT;
    fitTerminal();
    while (terminal.cols < columns && terminal.options.fontSize > SMALLEST_FONT) {
        terminal.options.fontSize -= 1;
        fitTerminal();
    }
    return terminal.cols >= columns;
}
