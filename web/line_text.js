// The text of a line being edited and its cursor, an offset in the text that
// stays between whole characters: { text, cursor }.

import { characters } from './line_layout.js';

// The offset of the character before the cursor, 0 at the start.
export function previousBoundary({ text, cursor }) {
    let boundary = 0;
    for (const { index } of characters(text)) if (index < cursor) boundary = index;
    return boundary;
}

// The offset of the character after the one at the cursor, text.length at the end.
export function nextBoundary({ text, cursor }) {
    for (const { index } of characters(text)) if (index > cursor) return index;
    return text.length;
}

// The start of the word before the cursor, over the spaces just before it.
export function wordStartBefore({ text, cursor }) {
    let at = cursor;
    while (at > 0 && text[at - 1] === ' ') --at;
    while (at > 0 && text[at - 1] !== ' ') --at;
    return at;
}

// The start of the word after the one the cursor is in.
export function wordStartAfter({ text, cursor }) {
    let at = cursor;
    while (at < text.length && text[at] !== ' ') ++at;
    while (at < text.length && text[at] === ' ') ++at;
    return at;
}

// The line with `typed` put in at the cursor, the cursor after it.
export function insert({ text, cursor }, typed) {
    const line = { text: text.slice(0, cursor) + typed + text.slice(cursor), cursor: cursor + typed.length };
    // A combining mark joins the character before it: the cursor stays
    // between whole characters.
    if (!characters(line.text).some(({ index }) => index === line.cursor)) line.cursor = nextBoundary(line);
    return line;
}

// The line without the character before the cursor.
export function backspace(line) {
    const from = previousBoundary(line);
    return { text: line.text.slice(0, from) + line.text.slice(line.cursor), cursor: from };
}

// The line without the character at the cursor.
export function deleteForward(line) {
    return { text: line.text.slice(0, line.cursor) + line.text.slice(nextBoundary(line)), cursor: line.cursor };
}
