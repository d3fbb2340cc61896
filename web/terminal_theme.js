// The terminal's colours are the page's, stated once in page.css as custom
// properties named after xterm.js's theme keys (--ansi-bright-blue for
// brightBlue).

// The xterm.js theme that the document's style states.
export function themeFromStyle() {
    const style = getComputedStyle(document.documentElement);
    const keys = ['background', 'foreground', 'cursor', 'selectionBackground'];
    for (const colour of ['black', 'red', 'green', 'yellow', 'blue', 'magenta', 'cyan', 'white']) {
        keys.push(colour, `bright${colour[0].toUpperCase()}${colour.slice(1)}`);
    }
    const cssName = (key) => key.replace(/[A-Z]/g, (letter) => `-${letter.toLowerCase()}`);
    return Object.fromEntries(keys.map((key) => [key, style.getPropertyValue(`--ansi-${cssName(key)}`).trim()]));
}
