// The entered lines and their recall by Up (-1) and Down (+1).
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createLineHistory } from '../../web/line_history.js';

test('empty lines and repeats of the last line are not kept', () => {
    const history = createLineHistory();
    for (const line of ['one', 'two', 'two', '', 'one', 'one']) history.add(line);
    assert.deepEqual(history.lines, ['one', 'two', 'one']);
});

// Each: the lines entered, then the steps taken and what each recalls.
const cases = [
    ['nothing to recall', [], [[-1, undefined], [+1, undefined]]],
    ['Down before any Up recalls nothing', ['one', 'two'], [[+1, undefined], [-1, 'two']]],
    ['the oldest stays put', ['one', 'two'], [[-1, 'two'], [-1, 'one'], [-1, 'one'], [+1, 'two']]],
    ['the newest stays put', ['one', 'two'], [[-1, 'two'], [+1, 'two'], [-1, 'one'], [+1, 'two'], [+1, 'two']]],
    ['one line', ['one'], [[-1, 'one'], [-1, 'one'], [+1, 'one']]],
];
for (const [name, entered, steps] of cases) {
    test(name, () => {
        const history = createLineHistory();
        for (const line of entered) history.add(line);
        assert.deepEqual(steps.map(([step]) => history.recall(step)), steps.map(([, line]) => line));
    });
}

test('after a reset Up recalls the newest line and Down nothing', () => {
    const history = createLineHistory();
    for (const line of ['one', 'two', 'three']) history.add(line);
    history.recall(-1);
    history.recall(-1);
    history.resetRecall();
    assert.equal(history.recall(+1), undefined);
    assert.equal(history.recall(-1), 'three');
});
