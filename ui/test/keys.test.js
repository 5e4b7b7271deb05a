import { test } from 'node:test';
import assert from 'node:assert/strict';
import { SHORTCUTS, KeyRouter, lookupKey } from '../keys.js';

function router() {
  const calls = [];
  let now = 0;
  const names = [...new Set(SHORTCUTS.map((s) => s.action)), 'pickScene'];
  const actions = Object.fromEntries(names.map((n) => [n, (...a) => calls.push([n, ...a])]));
  const r = new KeyRouter(actions, { maxScene: 34, now: () => now });
  return { r, calls, advance: (ms) => { now += ms; } };
}

test('every code the host forwards has an action', () => {
  const forwarded = ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'Enter', 'Escape', 'Slash', 'KeyA', 'KeyB', 'KeyF', 'KeyH', 'KeyR', 'KeyS'];
  for (let d = 1; d <= 9; d++) forwarded.push('Digit' + d, 'Numpad' + d);
  for (const code of forwarded) assert.ok(lookupKey(code, undefined), code);
});

test('no code appears twice in the table', () => {
  const seen = new Set();
  for (const s of SHORTCUTS) for (const c of s.codes) { assert.ok(!seen.has(c), c); seen.add(c); }
});

test('keys map to their actions', () => {
  const table = [
    ['ArrowRight', false, 'nextScene'], ['ArrowLeft', false, 'prevScene'], ['ArrowUp', false, 'reactUp'],
    ['ArrowDown', false, 'reactDown'], ['Enter', false, 'toggleAutoPilot'], ['KeyA', false, 'toggleAutoPilot'],
    ['NumpadEnter', false, 'toggleAutoPilot'], ['Escape', false, 'escape'], ['KeyH', false, 'hideUi'],
    ['KeyF', false, 'fullscreen'], ['KeyR', false, 'record'], ['KeyS', true, 'still'], ['Slash', false, 'help'],
    ['KeyB', false, 'panel'],
  ];
  for (const [code, shift, action] of table) {
    const { r, calls } = router();
    assert.equal(r.handle(code, shift), true, code);
    assert.deepEqual(calls, [[action]], code);
  }
});

test('S without Shift from the page is not a shortcut; the host only forwards Shift+S', () => {
  const { r, calls } = router();
  assert.equal(r.handle('KeyS', false), false);
  assert.equal(r.handle('KeyS', undefined), true);
  assert.equal(r.handle('KeyQ', false), false);
  assert.deepEqual(calls, [['still']]);
});

test('digits pick scenes; two quick digits pick 10 to 34', () => {
  const cases = [
    [[['Digit3', 0]], [3]],
    [[['Numpad7', 0]], [7]],
    [[['Digit1', 0], ['Digit2', 300]], [1, 12]],
    [[['Digit3', 0], ['Numpad4', 200]], [3, 34]],
    [[['Digit3', 0], ['Digit5', 200]], [3, 5]],      // 35 does not exist: 5 starts again
    [[['Digit2', 0], ['Digit4', 1500]], [2, 4]],     // too slow for a pair
    [[['Digit1', 0], ['Digit0', 100]], [1, 10]],
    [[['Digit0', 0]], []],
    [[['Digit1', 0], ['Digit2', 100], ['Digit3', 100]], [1, 12, 3]],
  ];
  for (const [presses, scenes] of cases) {
    const { r, calls, advance } = router();
    for (const [code, wait] of presses) { advance(wait); r.handle(code, false); }
    assert.deepEqual(calls.map((c) => c[1]), scenes, JSON.stringify(presses));
  }
});
