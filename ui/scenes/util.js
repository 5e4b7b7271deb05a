// Helpers shared by the scenes.

export const TAU = Math.PI * 2;

// Scratch coordinate arrays: scenes fill them and hand them to polyline/fan in the same call.
export const XS = new Float32Array(2048);
export const YS = new Float32Array(2048);

export function rng(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s + 0x6d2b79f5) >>> 0;
    let t = s;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Max-pools the 256-band spectrum into n bins (the bands are already spaced logarithmically).
export function pool(spectrumLevels, n, out, lo = 0, hi = 256) {
  const w = (hi - lo) / n;
  for (let i = 0; i < n; i++) {
    let m = 0;
    const a = lo + Math.floor(i * w), b = Math.max(a + 1, lo + Math.floor((i + 1) * w));
    for (let j = a; j < b; j++) if (spectrumLevels[j] > m) m = spectrumLevels[j];
    out[i] = m;
  }
  return out;
}

export function bandMax(spectrumLevels, lo, hi) {
  let m = 0;
  for (let j = lo; j < hi; j++) if (spectrumLevels[j] > m) m = spectrumLevels[j];
  return m;
}

export const clamp01 = (x) => (x < 0 ? 0 : x > 1 ? 1 : x);
export const mix = (a, b, t) => a + (b - a) * t;

// Cheap smooth 2D value field for motion (sums of sines; no tables, no allocation).
export function flow(x, y, t) {
  return Math.sin(x * 1.7 + t * 0.31 + Math.sin(y * 2.3 - t * 0.17) * 1.3) +
    Math.sin(y * 1.9 - t * 0.23 + Math.sin(x * 1.1 + t * 0.29) * 1.1) * 0.8;
}

// A pool of particles stored in parallel typed arrays.
export class Particles {
  constructor(n) {
    this.n = n;
    this.x = new Float32Array(n); this.y = new Float32Array(n);
    this.vx = new Float32Array(n); this.vy = new Float32Array(n);
    this.life = new Float32Array(n); this.max = new Float32Array(n);
    this.size = new Float32Array(n); this.hue = new Float32Array(n);
    this.next = 0;
  }
  spawn(x, y, vx, vy, life, size, hue) {
    const i = this.next;
    this.next = (this.next + 1) % this.n;
    this.x[i] = x; this.y[i] = y; this.vx[i] = vx; this.vy[i] = vy;
    this.life[i] = life; this.max[i] = life; this.size[i] = size; this.hue[i] = hue;
    return i;
  }
  step(dt, drag, gravity = 0) {
    const k = Math.exp(-drag * dt);
    for (let i = 0; i < this.n; i++) {
      if (this.life[i] <= 0) continue;
      this.life[i] -= dt;
      this.vx[i] *= k; this.vy[i] = this.vy[i] * k + gravity * dt;
      this.x[i] += this.vx[i] * dt; this.y[i] += this.vy[i] * dt;
    }
  }
}

// Rising-edge detector with hysteresis, for turning decaying envelopes into events.
export class Trigger {
  constructor(on = 0.5, off = 0.25) { this.on = on; this.off = off; this.armed = true; }
  test(x) {
    if (this.armed && x >= this.on) { this.armed = false; return true; }
    if (!this.armed && x < this.off) this.armed = true;
    return false;
  }
}

// Dark backdrop with a faint palette tint, brighter towards the bottom.
export function backdrop(g, p, lift = 0) {
  const c = p.rgb(0.0, 0.05 + lift);
  const r = c[0], gg = c[1], b = c[2];
  g.color(0.012, 0.012, 0.02, 1);
  g.rectGrad(0, 0, g.w, g.h, r, gg, b, 1);
}
