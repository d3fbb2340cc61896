// Typed or pasted data as the line editor takes it: keys, named when the
// editor knows them, and runs of text, each with the data it came from.

export const END_OF_INPUT = '\x1a';

export const KEYS = {
    '\x1b[D': 'left', '\x1bOD': 'left', '\x1b[C': 'right', '\x1bOC': 'right',
    '\x1b[1;5D': 'wordLeft', '\x1b[1;5C': 'wordRight',
    '\x1b[A': 'up', '\x1bOA': 'up', '\x1b[B': 'down', '\x1bOB': 'down',
    '\x1b[H': 'home', '\x1bOH': 'home', '\x1b[1~': 'home',
    '\x1b[F': 'end', '\x1bOF': 'end', '\x1b[4~': 'end',
    '\x1b[3~': 'delete', '\x7f': 'backspace', '\b': 'backspace',
    '\x1b': 'escape', '\r': 'enter', '\n': 'enter', [END_OF_INPUT]: 'endOfInput',
    // A line end pasted as CR LF is one Enter.
    '\r\n': 'enter',
};

// Splits data into keys ({ raw, key }, key undefined for an escape sequence or
// control character this editor does not know) and text runs ({ raw, text }).
export function tokens(data) {
    const found = [];
    let text = '';
    const endText = () => {
        if (text) found.push({ raw: text, text });
        text = '';
    };
    for (let i = 0; i < data.length; ) {
        let length = 1;
        if (data[i] === '\x1b' && (data[i + 1] === '[' || data[i + 1] === 'O')) {
            length = 2;
            while (i + length < data.length && data[i + length] >= '0' && data[i + length] <= '?') ++length;
            ++length;
        } else if (data[i] === '\r' && data[i + 1] === '\n') {
            length = 2;
        }
        const raw = data.slice(i, i + length);
        const code = data.charCodeAt(i);
        if (length > 1 || code < 0x20 || code === 0x7f) {
            endText();
            found.push({ raw, key: KEYS[raw] });
        } else {
            text += raw;
        }
        i += length;
    }
    endText();
    return found;
}
