// The terminal's size and font: as many rows and columns as fill its box, in
// the largest font, from the desktop size down to a legible minimum, that lets
// the widest line the game writes at start (its banner) fit the width.

import { cellWidth } from './cell_width.js';

export const LARGEST_FONT = 16;
export const SMALLEST_FONT = 9;

// The widest line, in cells, of what a program wrote (UTF-8 bytes with ANSI
// escape sequences).
export function widestLine(bytes) {
    const text = new TextDecoder().decode(bytes).replace(/\x1b\[[0-?]*[ -\/]*[@-~]/g, '');
    return Math.max(0, ...text.split(/\r?\n/).map((line) => cellWidth(line)));
}

// The columns and rows of cells `cell` ({ width, height }) that fit in box
// ({ width, height }) with `gutter` pixels kept on the right for a scroll
// bar; at least 2 columns and 1 row, as xterm.js wants.
export function cellsIn(box, cell, gutter) {
    return {
        cols: Math.max(2, Math.floor((box.width - gutter) / cell.width)),
        rows: Math.max(1, Math.floor(box.height / cell.height)),
    };
}

// The largest font size, from LARGEST_FONT down to SMALLEST_FONT, at which
// sizeAt(fontSize) (a terminal's { cols, rows } in that font) has at least
// `columns` columns, with that size: { fontSize, size, fits }, fits false when
// even the smallest font is too wide.
export function largestFontFor(columns, sizeAt) {
    let fontSize = LARGEST_FONT;
    let size = sizeAt(fontSize);
    while (size.cols < columns && fontSize > SMALLEST_FONT) size = sizeAt(--fontSize);
    return { fontSize, size, fits: size.cols >= columns };
}

// Sets terminal's font to the largest size that gives it `columns` columns in
// its box ({ width, height } in CSS pixels, less `gutter` on the right), or
// keeps its font when keepFont is true, and then its size to what fills the
// box. The sizes are worked out from the cell the font measures, and the
// terminal is resized once: every resize rewraps the whole scrollback.
// Returns whether the columns fit, or null when the terminal has no measure of
// its cell yet (it is not shown) and was left as it was.
export function fitTerminal(terminal, { box, gutter, columns, keepFont = false }) {
    // xterm.js measures a font's cell as soon as it is set; the fit addon
    // reads the same measure.
    const cell = () => terminal._core._renderService.dimensions.css.cell;
    if (!(cell().width > 0 && cell().height > 0)) return null;
    const sizeAt = (fontSize) => {
        if (terminal.options.fontSize !== fontSize) terminal.options.fontSize = fontSize;
        return cellsIn(box, cell(), gutter);
    };
    const chosen = keepFont
        ? { fontSize: terminal.options.fontSize, size: sizeAt(terminal.options.fontSize), fits: true }
        : largestFontFor(columns, sizeAt);
    if (terminal.options.fontSize !== chosen.fontSize) terminal.options.fontSize = chosen.fontSize;
    if (chosen.size.cols !== terminal.cols || chosen.size.rows !== terminal.rows) {
        terminal.resize(chosen.size.cols, chosen.size.rows);
    }
    return chosen.fits;
}
