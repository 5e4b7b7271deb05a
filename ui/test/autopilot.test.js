import { test } from 'node:test';
import assert from 'node:assert/strict';
import { AutoPilot } from '../autopilot.js';

const ENERGIES = [0.1, 0.2, 0.3, 0.5, 0.7, 0.8, 0.9, 0.95];

function frame(loud, extra = 0) {
  return { loud, onset: extra, kick: extra, punch: extra, hits: [extra, extra, extra], idle: 0 };
}

// Plays `bars` bars at 4 phase samples per bar and returns the scenes it switched to.
function play(ap, bars, current = 1, enabled = true) {
  const picks = [];
  for (let b = 0; b < bars; b++) for (const ph of [0.01, 0.3, 0.6, 0.9]) {
    const n = ap.step(ph, current, enabled);
    if (n) { picks.push(n); current = n; }
  }
  return picks;
}

test('changes only at bar boundaries, every 8 bars when calm', () => {
  const ap = new AutoPilot(ENERGIES, { random: () => 0 });
  ap.energy = 0.2;
  assert.equal(play(ap, 8).length, 0); // 7 bar lines: not yet
  const ap2 = new AutoPilot(ENERGIES, { random: () => 0 });
  ap2.energy = 0.2;
  let switches = 0;
  let bar = 0;
  for (; bar < 17; bar++) for (const ph of [0.01, 0.5]) if (ap2.step(ph, 1, true)) { switches++; assert.ok(ph < 0.1); }
  assert.equal(switches, 2);
});

test('busy music changes every 4 bars', () => {
  const ap = new AutoPilot(ENERGIES, { random: () => 0 });
  ap.energy = 0.8;
  assert.equal(play(ap, 13).length, 3);
});

test('picks scenes whose character suits the energy', () => {
  for (const [energy, allowed] of [[0.15, [1, 2, 3]], [0.9, [5, 6, 7, 8]]]) {
    for (const r of [0, 0.5, 0.99]) {
      const ap = new AutoPilot(ENERGIES, { random: () => r });
      ap.energy = energy;
      const n = ap.choose(energy > 0.5 ? 8 : 1);
      assert.ok(allowed.includes(n), `energy ${energy} random ${r} chose ${n}`);
    }
  }
});

test('never repeats the current scene and avoids recent ones', () => {
  const ap = new AutoPilot(ENERGIES, { random: () => 0 });
  ap.energy = 0.5;
  const seen = [];
  let cur = 4;
  for (let i = 0; i < 6; i++) { const n = ap.choose(cur); assert.notEqual(n, cur); seen.push(n); cur = n; }
  assert.equal(new Set(seen.slice(0, 5)).size, 5);
});

test('off means no changes, and the bar count restarts when switched on', () => {
  const ap = new AutoPilot(ENERGIES, { random: () => 0 });
  ap.energy = 0.8;
  assert.equal(play(ap, 10, 1, false).length, 0);
  assert.equal(play(ap, 3).length, 0);
  assert.equal(play(ap, 1).length, 1);
});

test('energy follows loudness and onsets and is calmed by idle', () => {
  const loud = new AutoPilot(ENERGIES), quiet = new AutoPilot(ENERGIES), idle = new AutoPilot(ENERGIES);
  for (let i = 0; i < 600; i++) {
    loud.observe(frame(0.9, 0.8), 1 / 60);
    quiet.observe(frame(0.2, 0), 1 / 60);
    idle.observe({ ...frame(0.9, 0.8), idle: 1 }, 1 / 60);
  }
  assert.ok(loud.energy > 0.6, String(loud.energy));
  assert.ok(quiet.energy < 0.2, String(quiet.energy));
  assert.ok(idle.energy < 0.02, String(idle.energy));
});
