// Which game server, if any, the page plays on: the site's own, fixed when it
// was built, or else the one the page's address names in its `server`
// parameter, unless the site turned that parameter off. Without either the
// page plays the program it downloads.

const SCHEMES = ['ws:', 'wss:'];

// The server for a page at `pageUrl` (a URL), given the site's settings
// { server, serverParameter }: { url } for a server to play on, null for the
// downloaded program, or { problem } saying in a player's words why the
// address given cannot be played on.
export function chooseServer(pageUrl, { server, serverParameter }) {
    if (server) return { url: server };
    const given = serverParameter ? pageUrl.searchParams.get('server') : null;
    if (given === null) return null;
    let url;
    try {
        url = new URL(given);
    } catch {
        return { problem: `The server address "${given}" is not a whole address: it needs the form ws://HOST:PORT/ or wss://HOST/.` };
    }
    if (!SCHEMES.includes(url.protocol)) {
        return { problem: `The server address "${given}" must start with ws:// or wss://.` };
    }
    // A page that came over HTTPS may open only secure connections.
    if (pageUrl.protocol === 'https:' && url.protocol === 'ws:') {
        return { problem: `This page came over HTTPS, so it can reach only a wss:// server, not "${given}".` };
    }
    return { url: url.href };
}
