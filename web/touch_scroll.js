// Scrolling a terminal's scrollback by touch, as any page scrolls: the rows
// follow the finger, and a flick coasts on, slowing, after the finger lifts.

// Each frame a coast keeps this much of its speed; under MIN_SPEED (pixels a
// millisecond) it stops.
const COAST_KEEPS = 0.95;
const MIN_SPEED = 0.03;

// Lets a finger on element scroll terminal, whose rows are rowHeight() CSS
// pixels tall; a flick coasts on while coasts() says so (not for a player
// who asked for reduced motion).
export function scrollByTouch(element, terminal, rowHeight, { coasts = () => true } = {}) {
    let lastY = null;
    let lastTime = 0;
    // Pixels a millisecond, positive towards the end of the output.
    let speed = 0;
    // Pixels moved that do not yet make a whole row.
    let carried = 0;
    let coasting = 0;

    const scroll = (pixels) => {
        carried += pixels;
        const rows = Math.trunc(carried / rowHeight());
        if (rows === 0) return;
        terminal.scrollLines(rows);
        carried -= rows * rowHeight();
    };
    const coast = (previous) => (now) => {
        scroll(speed * (now - previous));
        speed *= COAST_KEEPS;
        coasting = Math.abs(speed) < MIN_SPEED ? 0 : requestAnimationFrame(coast(now));
    };

    element.addEventListener('touchstart', (event) => {
        cancelAnimationFrame(coasting);
        if (event.touches.length !== 1) return;
        lastY = event.touches[0].clientY;
        lastTime = event.timeStamp;
        speed = 0;
        carried = 0;
    }, { passive: true, capture: true });
    element.addEventListener('touchmove', (event) => {
        if (lastY === null || event.touches.length !== 1) return;
        const y = event.touches[0].clientY;
        const elapsed = Math.max(event.timeStamp - lastTime, 1);
        speed = (lastY - y) / elapsed;
        scroll(lastY - y);
        lastY = y;
        lastTime = event.timeStamp;
        event.preventDefault();
    }, { passive: false, capture: true });
    element.addEventListener('touchend', (event) => {
        if (lastY === null) return;
        lastY = null;
        // A finger that stopped before it lifted does not flick.
        if (event.timeStamp - lastTime > 100 || !coasts()) return;
        coasting = requestAnimationFrame(coast(performance.now()));
    }, { capture: true });
}
