// The lines entered at the editor, and which of them Up and Down have recalled.

// A history that keeps its lines, oldest first, in `lines`.
export function createLineHistory() {
    const lines = [];
    // The index of the line recalled, null until Up recalls one.
    let recalled = null;
    return {
        lines,
        // Keeps an entered line, unless it is empty or the same as the last.
        add(line) {
            if (line !== '' && line !== lines[lines.length - 1]) lines.push(line);
        },
        // The line `step` away from the one recalled (-1 older, +1 newer), the
        // oldest and newest staying put; undefined when there is none to recall.
        recall(step) {
            if (lines.length === 0 || (recalled === null && step > 0)) return undefined;
            recalled = Math.min(Math.max((recalled ?? lines.length) + step, 0), lines.length - 1);
            return lines[recalled];
        },
        // The next Up recalls the newest line again.
        resetRecall() {
            recalled = null;
        },
    };
}
