import { test } from 'node:test';
import assert from 'node:assert/strict';
import { PARAMS, PARAM_BY_ID, ParamStore, valueText, toNorm, fromNorm } from '../params.js';

test('thirteen parameters in host order with the host defaults', () => {
  assert.deepEqual(PARAMS.map((p) => p.id), ['scene', 'hue', 'hue2', 'react', 'colour', 'autoPilot', 'sensitivity', 'attack', 'release', 'wBass', 'wMid', 'wHigh', 'beatSource']);
  assert.deepEqual(PARAMS.map((p) => p.def), [1, 0, 0, 85, 0, 0, 0, 10, 150, 1, 1, 1, 2]);
});

test('value texts read like the host shows them', () => {
  const cases = [['hue', 180, '180 °'], ['hue', 359.6, '360 °'], ['react', 85, '85 %'], ['react', 0.4, '0 %'], ['attack', 12.5, '12 ms'],
    ['sensitivity', -3.5, '-3.5 dB'], ['sensitivity', 0, '0.0 dB'], ['wBass', 1, '1.00'], ['colour', 3, 'Black & White'],
    ['beatSource', 2, 'Hybrid'], ['autoPilot', 1, 'On'], ['scene', 34, '34']];
  for (const [id, v, text] of cases) assert.equal(valueText(PARAM_BY_ID[id], v), text, `${id} ${v}`);
});

test('skewed sliders put the host centre in the middle', () => {
  assert.ok(Math.abs(fromNorm(PARAM_BY_ID.attack, 0.5) - 14.14) < 0.01);
  assert.ok(Math.abs(fromNorm(PARAM_BY_ID.release, 0.5) - 316) < 0.1);
  for (const id of ['hue', 'attack', 'release', 'sensitivity']) {
    const p = PARAM_BY_ID[id];
    for (const n of [0, 0.25, 0.75, 1]) assert.ok(Math.abs(toNorm(p, fromNorm(p, n)) - n) < 0.01, `${id} ${n}`);
  }
});

test('host snapshots update values, but not over a fresh local edit', () => {
  let now = 0;
  const s = new ParamStore(() => now);
  const heard = [];
  s.onChange((id, v, origin) => heard.push([id, v, origin]));
  s.setLocal('scene', 7);
  now = 100;
  assert.deepEqual(s.applySnapshot(JSON.stringify({ scene: 6, hue: 120 })), ['hue']); // stale scene ignored
  assert.equal(s.get('scene'), 7);
  assert.deepEqual(s.applySnapshot({ scene: 7 }), []);                                 // the echo confirms it
  now = 200;
  assert.deepEqual(s.applySnapshot({ scene: 9 }), ['scene']);                          // host automation moves it again
  now = 1000;
  s.setLocal('react', 50);
  now = 2000;
  assert.deepEqual(s.applySnapshot({ react: 20 }), ['react']);                         // old edits do not block
  assert.deepEqual(heard, [['scene', 7, 'local'], ['hue', 120, 'host'], ['scene', 9, 'host'], ['react', 50, 'local'], ['react', 20, 'host']]);
});

test('values are clamped and snapped to the parameter', () => {
  const s = new ParamStore();
  s.applySnapshot({ scene: 99, hue: -5, sensitivity: 3.14159, wMid: 1.234, colour: 7 });
  assert.deepEqual([s.get('scene'), s.get('hue'), s.get('sensitivity'), s.get('wMid'), s.get('colour')], [34, 0, 3.1, 1.23, 4]);
  assert.deepEqual(s.applySnapshot('garbage'), []);
});
