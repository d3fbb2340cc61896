// Tells a screen reader what happens in the game, through a live region of
// the page's own: each line entered once, each answer once, a game's start and
// end in a line each. The terminal's own rows are not announced, as a line
// being edited is drawn again at every key and would be read out each time.

import { spokenText } from './spoken_text.js';

// The entries the region keeps for a reader to go back over.
const KEPT = 200;
// Output that comes in pieces, as a server's does, is said once this long
// has passed without more.
const QUIET_MS = 250;

// Announces through region (an element that is a live region) while isOn()
// says so. say(text) announces text at once. output(written, shape) gathers
// what a program wrote (a string) and says shape(spokenText(all of it)) once
// no more has come for a moment, or before anything else is said; shape
// defaults to the text itself.
export function createAnnouncer(region, isOn) {
    let gathered = '';
    let shapeGathered = null;
    let quietTimer = 0;
    const append = (text) => {
        if (!isOn() || text === '') return;
        const entry = document.createElement('p');
        entry.textContent = text;
        region.append(entry);
        while (region.childElementCount > KEPT) region.firstElementChild.remove();
    };
    const flush = () => {
        clearTimeout(quietTimer);
        if (shapeGathered === null) return;
        const text = spokenText(gathered);
        const shape = shapeGathered;
        gathered = '';
        shapeGathered = null;
        append(text === '' ? '' : shape(text));
    };
    return {
        say(text) {
            flush();
            append(text);
        },
        output(written, shape = (text) => text) {
            if (shapeGathered === null) shapeGathered = shape;
            gathered += written;
            clearTimeout(quietTimer);
            quietTimer = setTimeout(flush, QUIET_MS);
        },
        // Says at once what has been gathered.
        flush,
    };
}
