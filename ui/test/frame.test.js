import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Frame, parseFrame } from '../frame.js';
import { synthFrame, base64 } from '../../tests/page/support/synth.js';

function frameText(bytes, extra = {}) {
  const v = {
    v: 3, rows: 4, b: base64(bytes), rms: 0.12345, peak: 0.5, onset: 0.25, bands: [0.1, 0.2, 0.3], stereo: 0.7,
    idle: 0.95, beatPhase: 0.033333, barPhase: 0.008333, bpm: 120, playing: 1, punch: 0.01, kick: 0.02, note: -1,
    vel: 0.5039, noteCount: 7, loud: 0.946, hits: [0.4, 0.5, 0.6], timbre: [0.11, 0.22, 0.33], ts: [0.25, 0.75],
    beatConf: 0.8, tsNum: 6, tsDen: 8, ...extra,
  };
  return JSON.stringify(v);
}

test('rows land in spectrum, mono, left and right in order', () => {
  const bytes = new Uint8Array(1024);
  for (let i = 0; i < 1024; i++) bytes[i] = (i * 7 + (i >> 8) * 31) & 255;
  const f = new Frame();
  assert.equal(parseFrame(frameText(bytes), f), true);
  assert.deepEqual([...f.spectrum], [...bytes.subarray(0, 256)]);
  assert.deepEqual([...f.mono], [...bytes.subarray(256, 512)]);
  assert.deepEqual([...f.left], [...bytes.subarray(512, 768)]);
  assert.deepEqual([...f.right], [...bytes.subarray(768, 1024)]);
});

test('every value matches JSON.parse exactly', () => {
  for (const t of [0, 0.37, 1.5, 7.25, 33.3]) {
    const text = synthFrame(t);
    const f = new Frame();
    assert.equal(parseFrame(text, f), true);
    const o = JSON.parse(text);
    for (const [k, v] of Object.entries(o)) {
      if (k === 'b') continue;
      if (Array.isArray(v)) assert.deepEqual([...f[k]], v, k);
      else assert.equal(f[k], v, k);
    }
    assert.deepEqual([...f.bytes], [...Buffer.from(o.b, 'base64')]);
  }
});

test('negative numbers, exponents and whitespace parse', () => {
  const f = new Frame();
  const text = '{ "v" : 3 , "note": -1, "bpm": 1.2e2, "bands": [ -0.5 , 2E-1, 0 ], "unknown": {"a": [1, "x\\"y"]}, "kick": 0.00001 }';
  assert.equal(parseFrame(text, f), true);
  assert.equal(f.note, -1);
  assert.equal(f.bpm, 120);
  assert.deepEqual([...f.bands], [-0.5, 0.2, 0]);
  assert.equal(f.kick, 0.00001);
});

test('a short "b" keeps the missing rows silent', () => {
  const f = new Frame();
  f.bytes.fill(9);
  assert.equal(parseFrame(JSON.stringify({ b: base64(new Uint8Array(300).fill(200)) }), f), true);
  assert.equal(f.spectrum[255], 200);
  assert.equal(f.mono[43], 200);
  assert.equal(f.mono[44], 128);
  assert.ok(f.right.every((x) => x === 128));
});

test('malformed text is refused', () => {
  const cases = ['', 'null', '{"b":"ab$d"}', '{"rms":}', '{"rms":0.1', '[1,2]', 42];
  for (const c of cases) assert.equal(parseFrame(c, new Frame()), false, String(c));
});

test('parsing reuses the same arrays', () => {
  const f = new Frame();
  const { bytes, bands, spectrum } = f;
  parseFrame(synthFrame(1), f);
  parseFrame(synthFrame(2), f);
  assert.equal(f.bytes, bytes);
  assert.equal(f.bands, bands);
  assert.equal(f.spectrum.buffer, bytes.buffer);
});
