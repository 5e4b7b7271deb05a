// One analysis frame, parsed in place. Frames arrive ~125 times a second; parsing them with
// JSON.parse and atob would create several objects and a 1 KB string each time, so the text is
// scanned directly into preallocated fields and the Base64 rows into one reused Uint8Array.

export const ROW_BYTES = 256;
export const ROW_COUNT = 4;

const B64 = new Int16Array(128).fill(-1);
{
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  for (let i = 0; i < 64; i++) B64[alphabet.charCodeAt(i)] = i;
}

// Field kinds: scalar numbers, fixed-length arrays and the Base64 rows.
const NUM = 0, ARR = 1, ROWS = 2;
const FIELDS = [
  ['v', NUM], ['rows', NUM], ['b', ROWS], ['rms', NUM], ['peak', NUM], ['onset', NUM],
  ['bands', ARR, 3], ['stereo', NUM], ['idle', NUM], ['beatPhase', NUM], ['barPhase', NUM],
  ['bpm', NUM], ['playing', NUM], ['punch', NUM], ['kick', NUM], ['note', NUM], ['vel', NUM],
  ['noteCount', NUM], ['loud', NUM], ['hits', ARR, 3], ['timbre', ARR, 3], ['ts', ARR, 2],
  ['beatConf', NUM], ['tsNum', NUM], ['tsDen', NUM],
];

// Keys are recognised by a rolling hash of their characters, so no key string is ever sliced.
function hashRange(s, a, b) {
  let h = 7;
  for (let i = a; i < b; i++) h = (Math.imul(h, 31) + s.charCodeAt(i)) | 0;
  return h;
}
const FIELD_BY_HASH = new Map();
for (const f of FIELDS) FIELD_BY_HASH.set(hashRange(f[0], 0, f[0].length), f);

export class Frame {
  constructor() {
    this.bytes = new Uint8Array(ROW_BYTES * ROW_COUNT);
    this.spectrum = this.bytes.subarray(0, 256);
    this.mono = this.bytes.subarray(256, 512);
    this.left = this.bytes.subarray(512, 768);
    this.right = this.bytes.subarray(768, 1024);
    this.bands = new Float64Array(3);
    this.hits = new Float64Array(3);
    this.timbre = new Float64Array(3);
    this.ts = new Float64Array(2);
    this.reset();
  }

  // The state of a silent processor before any audio: what the page shows before the first frame.
  reset() {
    this.v = 3; this.rows = 4;
    this.spectrum.fill(0); this.mono.fill(128); this.left.fill(128); this.right.fill(128);
    this.rms = 0; this.peak = 0; this.onset = 0; this.stereo = 0; this.idle = 1;
    this.beatPhase = 0; this.barPhase = 0; this.bpm = 120; this.playing = 0; this.punch = 0;
    this.kick = 0; this.note = -1; this.vel = 0; this.noteCount = 0; this.loud = 0;
    this.bands.fill(0); this.hits.fill(0); this.timbre.fill(0); this.ts.fill(0);
    this.beatConf = 0; this.tsNum = 4; this.tsDen = 4;
  }

  copyFrom(o) {
    this.bytes.set(o.bytes);
    for (const [k, kind] of FIELDS) {
      if (kind === NUM) this[k] = o[k];
      else if (kind === ARR) this[k].set(o[k]);
    }
  }
}

// Scanner state lives in module scope: parsing is synchronous and never re-entered.
let S = '', P = 0, OK = true;

function ws() {
  for (;;) {
    const c = S.charCodeAt(P);
    if (c === 32 || c === 10 || c === 13 || c === 9) P++; else return;
  }
}

function num() {
  const start = P;
  let neg = false, m = 0, digits = 0, frac = 0, exp = 0;
  let c = S.charCodeAt(P);
  if (c === 45) { neg = true; c = S.charCodeAt(++P); }
  while (c >= 48 && c <= 57) { m = m * 10 + (c - 48); digits++; c = S.charCodeAt(++P); }
  if (c === 46) {
    c = S.charCodeAt(++P);
    while (c >= 48 && c <= 57) { m = m * 10 + (c - 48); digits++; frac++; c = S.charCodeAt(++P); }
  }
  if (digits === 0) { OK = false; return 0; }
  if (c === 101 || c === 69) {
    c = S.charCodeAt(++P);
    let eneg = false;
    if (c === 45 || c === 43) { eneg = c === 45; c = S.charCodeAt(++P); }
    while (c >= 48 && c <= 57) { exp = exp * 10 + (c - 48); c = S.charCodeAt(++P); }
    if (eneg) exp = -exp;
  }
  // Up to 15 digits the mantissa and the power of ten are exact, so one division rounds correctly.
  if (digits > 15 || exp !== 0) return parseFloat(S.substring(start, P));
  const v = frac ? m / POW10[frac] : m;
  return neg ? -v : v;
}
const POW10 = new Float64Array(23);
for (let i = 0; i < 23; i++) POW10[i] = Number('1e' + i);

function skipValue() {
  ws();
  const c = S.charCodeAt(P);
  if (c === 34) { // string
    P++;
    while (P < S.length) {
      const d = S.charCodeAt(P++);
      if (d === 92) P++; else if (d === 34) return;
    }
    OK = false;
  } else if (c === 91 || c === 123) { // array or object
    const close = c === 91 ? 93 : 125;
    P++; ws();
    if (S.charCodeAt(P) === close) { P++; return; }
    for (;;) {
      if (close === 125) { skipValue(); ws(); if (S.charCodeAt(P++) !== 58) { OK = false; return; } }
      skipValue(); ws();
      const d = S.charCodeAt(P++);
      if (d === close) return;
      if (d !== 44) { OK = false; return; }
    }
  } else if (c === 116 || c === 110) P += 4; // true, null
  else if (c === 102) P += 5; // false
  else num();
}

function arr(target, len) {
  if (S.charCodeAt(P) !== 91) { skipValue(); return; }
  P++;
  let i = 0;
  for (;;) {
    ws();
    if (S.charCodeAt(P) === 93) { P++; break; }
    const v = num();
    if (!OK) return;
    if (i < len) target[i] = v;
    i++;
    ws();
    const c = S.charCodeAt(P);
    if (c === 44) P++;
    else if (c === 93) { P++; break; } else { OK = false; return; }
  }
}

// Decodes the Base64 text starting at P into bytes; missing rows keep their silent values.
function rows(frame) {
  if (S.charCodeAt(P) !== 34) { skipValue(); return; }
  P++;
  const out = frame.bytes;
  let o = 0, acc = 0, bits = 0;
  for (;;) {
    const c = S.charCodeAt(P++);
    if (c === 34) break;
    if (c === 61) continue; // padding
    const d = c < 128 ? B64[c] : -1;
    if (d < 0) { OK = false; return; }
    acc = ((acc << 6) | d) & 0xffffff;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (o < out.length) out[o] = (acc >> bits) & 255;
      o++;
    }
  }
  if (o < 256) out.fill(0, o, 256);
  if (o < 1024) out.fill(128, Math.max(o, 256), 1024);
}

// Reads one frame text into `frame`. Returns false (leaving a partial update) on malformed text.
export function parseFrame(text, frame) {
  if (typeof text !== 'string') return false;
  S = text; P = 0; OK = true;
  ws();
  if (S.charCodeAt(P++) !== 123) return false;
  ws();
  if (S.charCodeAt(P) === 125) return true;
  while (OK) {
    ws();
    if (S.charCodeAt(P++) !== 34) return false;
    const ks = P;
    while (P < S.length && S.charCodeAt(P) !== 34) P++;
    if (P >= S.length) return false;
    const f = FIELD_BY_HASH.get(hashRange(S, ks, P));
    const known = f !== undefined && f[0].length === P - ks;
    P++;
    ws();
    if (S.charCodeAt(P++) !== 58) return false;
    ws();
    if (!known) skipValue();
    else if (f[1] === NUM) { const v = num(); if (OK) frame[f[0]] = v; }
    else if (f[1] === ARR) arr(frame[f[0]], f[2]);
    else rows(frame);
    ws();
    const c = S.charCodeAt(P++);
    if (c === 125) break;
    if (c !== 44) return false;
  }
  S = '';
  return OK;
}
