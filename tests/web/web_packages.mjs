// The page's npm packages (web/package.json), for the tests and benchmarks,
// which live outside web/ and would not find them by themselves.
import { createRequire } from 'node:module';

export const requireFromWeb = createRequire(new URL('../../web/package.json', import.meta.url));
