// Resizing a terminal under a line being edited: the terminal would wrap the
// line anew, out of step with the editor, so the line leaves the screen first
// and is drawn again once the terminal has caught up with the new size.

// Writes `erase`, then, once the terminal has taken it, resizes through
// resizeTerminal, then, once the terminal has caught up, calls redraw unless
// stillWanted() says the line has been ended or dropped meanwhile.
export function resizeUnderLine(terminal, { erase, resizeTerminal, stillWanted, redraw }) {
    terminal.write(erase, () => {
        resizeTerminal();
        terminal.write('', () => {
            if (stillWanted()) redraw();
        });
    });
}
