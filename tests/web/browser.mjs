// Starts Debian's Chromium or Firefox headless under puppeteer-core, which
// brings no browser of its own; puppeteer gives each start a fresh profile.
import { requireFromWeb } from './web_packages.mjs';

const puppeteer = requireFromWeb('puppeteer-core');

const BROWSERS = {
    chromium: {
        executablePath: '/usr/bin/chromium',
        // As root Chromium wants no sandbox; the rest keeps it off the
        // network, which the page never needs.
        args: [
            '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
        ],
    },
    firefox: { executablePath: '/usr/bin/firefox-esr', browser: 'firefox' },
};

export const browserNames = Object.keys(BROWSERS);

// Resolves to a puppeteer Browser; extraArgs go to the browser's command line.
export function launchBrowser(name, extraArgs = []) {
    const { args = [], ...rest } = BROWSERS[name];
    return puppeteer.launch({ ...rest, args: [...args, ...extraArgs], headless: true });
}
