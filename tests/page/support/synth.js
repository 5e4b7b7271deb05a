// A generated, music-like stream of analysis frames: a 4/4 groove at 124 BPM with kick, snare,
// hats, a bass line, a pad and a melody, written in the plug-in's frame text format. Used to
// render the scenes and to drive the page in browser tests without the native side.

const ALPHA = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';

const CODES = new Uint8Array(64);
for (let i = 0; i < 64; i++) CODES[i] = ALPHA.charCodeAt(i);

export function base64(bytes) {
  const out = new Uint16Array(Math.ceil(bytes.length / 3) * 4);
  let o = 0, i = 0;
  for (; i + 2 < bytes.length; i += 3) {
    const n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out[o++] = CODES[n >> 18]; out[o++] = CODES[(n >> 12) & 63]; out[o++] = CODES[(n >> 6) & 63]; out[o++] = CODES[n & 63];
  }
  const rest = bytes.length - i;
  if (rest > 0) {
    const n = (bytes[i] << 16) | (rest === 2 ? bytes[i + 1] << 8 : 0);
    out[o++] = CODES[n >> 18]; out[o++] = CODES[(n >> 12) & 63];
    out[o++] = rest === 2 ? CODES[(n >> 6) & 63] : 61; out[o++] = 61;
  }
  let s = '';
  for (let k = 0; k < out.length; k += 4096) s += String.fromCharCode.apply(null, out.subarray(k, k + 4096));
  return s;
}

const f5 = (x) => x.toFixed(5);
const frac = (x) => x - Math.floor(x);
const hz = (note) => 440 * Math.pow(2, (note - 69) / 12);
const bandHz = (b) => 20 * Math.pow(800, b / 255);

// Deterministic noise so renders repeat exactly.
function noise(i, t) {
  const x = Math.sin(i * 127.1 + Math.floor(t * 90) * 311.7) * 43758.5453;
  return x - Math.floor(x);
}

// Band shapes (a bump centred at log2 frequency c, width w octaves), computed once each.
const shapes = new Map();
function shape(c, w) {
  const key = c.toFixed(3) + '/' + w;
  let a = shapes.get(key);
  if (!a) {
    a = new Float32Array(256);
    for (let b = 0; b < 256; b++) a[b] = Math.exp(-Math.pow((Math.log2(bandHz(b)) - c) / w, 2));
    shapes.set(key, a);
  }
  return a;
}

const BASS = [36, 36, 43, 41]; // one note per beat... cycled per bar
const MELODY = [72, 75, 79, 77, 75, 72, 70, 72];

export function synthFrame(t, { bpm = 124, silent = false } = {}) {
  const bytes = new Uint8Array(1024);
  const beat = t * bpm / 60;
  const bp = frac(beat), bi = Math.floor(beat);
  const kick = Math.exp(-bp * 9);
  const snare = bi % 2 === 1 ? Math.exp(-bp * 7) : 0;
  const hat = Math.exp(-frac(beat * 2) * 22);
  const bass = BASS[Math.floor(beat / 4) % 4];
  const step8 = Math.floor(beat * 2);
  const mel = MELODY[step8 % 8];
  const melEnv = Math.exp(-frac(beat * 2) * 3);
  const swell = 0.75 + 0.25 * Math.sin(t * 0.4);
  if (silent) {
    bytes.fill(128, 256);
  } else {
    const K = shape(Math.log2(60), 0.55), SN = shape(10.3, 1.5), HT = shape(13.4, 0.8), FL = shape(9.5, 3.2);
    const notes = [[bass, 0.75], [bass + 12, 0.4], [bass + 19, 0.25], [60, 0.4 * swell], [63, 0.35 * swell], [67, 0.35 * swell], [mel, 0.65 * melEnv], [mel + 12, 0.25 * melEnv]];
    const tones = notes.map(([n]) => shape(Math.log2(hz(n)), 0.09));
    for (let b = 0; b < 256; b++) {
      let a = 0.34 * FL[b] + 0.95 * kick * K[b] + 0.6 * snare * SN[b] + 0.55 * hat * HT[b];
      for (let k = 0; k < notes.length; k++) a += notes[k][1] * tones[k][b];
      a *= 0.85 + 0.3 * noise(b, t);
      bytes[b] = Math.max(0, Math.min(255, Math.floor(a * 255)));
    }
    const wb = 2 * Math.PI * hz(bass), wm = 2 * Math.PI * hz(mel), wp = 2 * Math.PI * hz(67), wk = 2 * Math.PI * 55;
    for (let i = 0; i < 256; i++) {
      const s = i * 4 / 48000;
      const m = 0.45 * Math.sin(wb * s) + 0.35 * kick * Math.sin(wk * s)
        + 0.12 * Math.sin(wm * s) * melEnv + 0.15 * hat * (noise(i, t) - 0.5);
      const j = i * 2 / 48000;
      const side = 0.18 * swell * Math.sin(wp * j + t);
      const mm = 0.45 * Math.sin(wb * j) + 0.12 * Math.sin(wm * j) * melEnv;
      bytes[256 + i] = Math.max(0, Math.min(255, Math.trunc(m * 140 + 128)));
      bytes[512 + i] = Math.max(0, Math.min(255, Math.trunc((mm + side) * 140 + 128)));
      bytes[768 + i] = Math.max(0, Math.min(255, Math.trunc((mm - side) * 140 + 128)));
    }
  }
  const on = silent ? 0 : 1;
  const loud = on * (0.68 + 0.12 * kick);
  const v = {
    rms: on * (0.45 + 0.3 * kick), peak: on * (0.6 + 0.35 * kick), onset: on * Math.max(kick, snare * 0.8, hat * 0.4),
    bands: [on * (0.4 + 0.55 * kick), on * (0.35 + 0.4 * snare + 0.2 * melEnv), on * (0.25 + 0.5 * hat)],
    stereo: on * 0.35 * swell, idle: silent ? 1 : 0,
  };
  const note = on ? mel : -1;
  const parts = [
    '"v":3', '"rows":4', `"b":"${base64(bytes)}"`, `"rms":${f5(v.rms)}`, `"peak":${f5(v.peak)}`, `"onset":${f5(v.onset)}`,
    `"bands":[${v.bands.map(f5).join(',')}]`, `"stereo":${f5(v.stereo)}`, `"idle":${f5(v.idle)}`,
    `"beatPhase":${bp.toFixed(6)}`, `"barPhase":${frac(beat / 4).toFixed(6)}`, `"bpm":${bpm.toFixed(3)}`, '"playing":0',
    `"punch":${f5(on * kick * 0.8)}`, `"kick":${f5(on * kick)}`, `"note":${note}`, `"vel":${(on * 0.8).toFixed(4)}`,
    `"noteCount":${on * step8}`, `"loud":${f5(loud)}`, `"hits":[${[kick, snare, hat].map((x) => f5(on * x)).join(',')}]`,
    `"timbre":[${[0.45 + 0.2 * hat, 0.5, 0.2 + 0.2 * snare].map((x) => f5(on * x)).join(',')}]`,
    `"ts":[${f5(on * (0.2 + 0.6 * Math.max(kick, snare, hat)))},${f5(on * (0.8 - 0.6 * Math.max(kick, snare, hat)))}]`,
    `"beatConf":${f5(on * Math.min(0.9, t / 4))}`, '"tsNum":4', '"tsDen":4',
  ];
  return '{' + parts.join(',') + '}';
}
