// The tree of an image as 'kestivfs list' shows it, and the lines that walk
// it: for scripts on whatever maze a build links in.
import { execFileSync } from 'node:child_process';

// Names in a listed path are joined by "/", with "\/", "\\" and "\xHH" for a
// slash, a backslash and a control byte inside a name.
function namesOf(path) {
    const names = [];
    let name = '';
    for (let i = 1; i < path.length; ++i) {
        if (path[i] === '/') {
            names.push(name);
            name = '';
        } else if (path[i] === '\\' && path[i + 1] === 'x') {
            name += String.fromCharCode(parseInt(path.slice(i + 2, i + 4), 16));
            i += 3;
        } else if (path[i] === '\\') {
            name += path[++i];
        } else {
            name += path[i];
        }
    }
    return path === '/' ? [] : [...names, name];
}

// Every node of the image, in image order: { kind, size, names } with the
// names from the root's child down to the node.
export function listImage(kestivfs, image) {
    const listing = execFileSync(kestivfs, ['list', image], { encoding: 'latin1', maxBuffer: 1 << 28 });
    return listing.split('\n').flatMap((line) => {
        const match = /^(directory|file|kind \d+) +(\d+)  (\/.*)$/.exec(line);
        return match ? [{ kind: match[1], size: Number(match[2]), names: namesOf(match[3]) }] : [];
    });
}

// The "cd" lines from the root to the directory that holds node.
export function walkTo(node) {
    return node.names.slice(0, -1).map((name) => `cd ${name}\n`).join('');
}

export function nameOf(node) {
    return node.names[node.names.length - 1];
}

// The nodes from the root's child down to the file whose text holds `flag`,
// as listImage gives a node's names.
export function goalOf(kestivfs, image, flag) {
    const listing = execFileSync(kestivfs, ['list', '--text', image], { encoding: 'latin1', maxBuffer: 1 << 28 });
    let file = null;
    for (const line of listing.split('\n')) {
        const match = /^file +\d+  (\/.*)$/.exec(line);
        if (match) file = match[1];
        else if (file !== null && line.includes(flag)) return { kind: 'file', names: namesOf(file) };
    }
    throw new Error('no file of the image holds the flag');
}
