// What a screen reader is given to say of a terminal's output: its text, without
// escape sequences, control characters, trailing spaces or empty lines.

const ESCAPE_SEQUENCE = /\x1b(?:\[[0-?]*[ -\/]*[@-~]|\][^\x07\x1b]*(?:\x07|\x1b\\)|[@-Z\\-_])/g;

// The lines of text in what a program wrote (a string), joined by "\n".
export function spokenText(written) {
    return written.replace(ESCAPE_SEQUENCE, '')
        .split(/\r\n|\r|\n/)
        .map((line) => line.replace(/[\x00-\x1f\x7f]/g, '').trimEnd())
        .filter((line) => line.trim() !== '')
        .join('\n');
}

// The last line of what a program wrote, as spokenText gives it; '' for none.
export function lastSpokenLine(written) {
    return spokenText(written).split('\n').at(-1);
}
