import { test } from 'node:test';
import assert from 'node:assert/strict';
import { UiState, decodeState, encodeState, UI_DEFAULTS } from '../state.js';

function timers() {
  const pending = new Map();
  let id = 0;
  return {
    opts: { setTimer: (f) => { pending.set(++id, f); return id; }, clearTimer: (t) => pending.delete(t) },
    run: () => { const fs = [...pending.values()]; pending.clear(); fs.forEach((f) => f()); },
    count: () => pending.size,
  };
}

test('a state survives saving and restoring', () => {
  const saved = [];
  const t = timers();
  const a = new UiState((s) => saved.push(s), t.opts);
  a.set('panel', true); a.set('hud', false); a.set('lastPreset', 'Deep Blue'); a.set('panelTab', 'audio');
  t.run();
  assert.equal(saved.length, 1);
  const b = new UiState(() => {}, timers().opts);
  b.restore(saved[0]);
  assert.deepEqual(b.values, { ...UI_DEFAULTS, panel: true, hud: false, lastPreset: 'Deep Blue', panelTab: 'audio' });
});

test('changes are saved once after they settle', () => {
  const saved = [];
  const t = timers();
  const s = new UiState((x) => saved.push(x), t.opts);
  s.set('panel', true); s.set('panel', false); s.set('panel', true);
  assert.equal(t.count(), 1);
  t.run();
  assert.equal(saved.length, 1);
  t.run();
  assert.equal(saved.length, 1);
});

test('restoring from the host never saves back, and setting the same value is no change', () => {
  const saved = [];
  const t = timers();
  const s = new UiState((x) => saved.push(x), t.opts);
  s.restore(encodeState({ ...UI_DEFAULTS, hud: false }));
  s.set('hud', false);
  t.run();
  assert.deepEqual(saved, []);
});

test('foreign, broken or partial states fall back to defaults field by field', () => {
  const cases = [
    ['', UI_DEFAULTS],
    ['not json', UI_DEFAULTS],
    ['[1,2]', UI_DEFAULTS],
    ['{"panel":"yes","hud":false,"extra":1}', { ...UI_DEFAULTS, hud: false }],
    [null, UI_DEFAULTS],
  ];
  for (const [text, want] of cases) assert.deepEqual(decodeState(text), want, String(text));
});

test('listeners hear restored values', () => {
  const heard = [];
  const s = new UiState(() => {}, timers().opts);
  s.onChange((k, v) => heard.push([k, v]));
  s.restore('{"help":true}');
  assert.deepEqual(heard, [['help', true]]);
});
