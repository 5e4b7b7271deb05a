import { test } from 'node:test';
import assert from 'node:assert/strict';
import { SliderGesture } from '../controls/gesture.js';

function recorder() {
  const log = [];
  return { log, host: { begin: (id) => log.push(['begin', id]), set: (id, v) => log.push(['set', id, v]), end: (id) => log.push(['end', id]) } };
}

test('a drag is one gesture with the values in between', () => {
  const { log, host } = recorder();
  const g = new SliderGesture('hue', host);
  g.down(10); g.move(20); g.move(20); g.move(35); g.up();
  assert.deepEqual(log, [['begin', 'hue'], ['set', 'hue', 10], ['set', 'hue', 20], ['set', 'hue', 35], ['end', 'hue']]);
});

test('moves outside a drag and extra ups send nothing', () => {
  const { log, host } = recorder();
  const g = new SliderGesture('react', host);
  g.move(5); g.up();
  g.down(1); g.down(2); g.up(); g.up(); g.move(9);
  assert.deepEqual(log, [['begin', 'react'], ['set', 'react', 1], ['end', 'react']]);
});

test('a tap is a complete gesture', () => {
  const { log, host } = recorder();
  new SliderGesture('colour', host).tap(3);
  assert.deepEqual(log, [['begin', 'colour'], ['set', 'colour', 3], ['end', 'colour']]);
});
