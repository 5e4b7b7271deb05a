// Geometry that locks to the beat and the bar.
import { TAU, XS, YS, Trigger, rng, pool, clamp01 } from './util.js';

export const kickRings = {
  name: 'Kick Rings', energy: 0.7,
  setup: () => ({ r: new Float32Array(40), s: new Float32Array(40), k: new Uint8Array(40), head: 0, tk: new Trigger(0.45, 0.2), tm: new Trigger(0.5, 0.25) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    g.clear(0.006, 0.006, 0.01);
    const add = (strength, kind) => { s.r[s.head] = 0; s.s[s.head] = strength; s.k[s.head] = kind; s.head = (s.head + 1) % s.r.length; };
    if (s.tk.test(a.kick)) add(a.kick, 0);
    if (s.tm.test(a.hitM)) add(a.hitM * 0.6, 1);
    if (a.beatHit && a.beatConf > 0.3) add(0.25, 2);
    g.blend('add');
    p.set(g, 0, 0.5, 0.3 * a.bass);
    g.glow(cx, cy, H * 0.7);
    const maxR = Math.hypot(W, H) / 2;
    for (let i = 0; i < s.r.length; i++) {
      if (s.s[i] <= 0) continue;
      s.r[i] += a.dt * H * (0.55 + 0.4 * s.s[i]) * (1 + s.r[i] / H);
      if (s.r[i] > maxR) { s.s[i] = 0; continue; }
      const f = 1 - s.r[i] / maxR;
      const kind = s.k[i];
      const t = kind === 0 ? 0.1 : kind === 1 ? 0.6 : 1;
      const th = H * (kind === 2 ? 0.004 : 0.012 + 0.05 * s.s[i] * f);
      p.set(g, t, 0.3 + 0.4 * f, 0.35 * f);
      g.ring(cx, cy, s.r[i], th * 3.5);
      p.set(g, t, 0.6 + 0.4 * f, f * (kind === 2 ? 0.6 : 1));
      g.ring(cx, cy, s.r[i], th);
    }
    p.set(g, 0.05, 1, 0.6 + 0.4 * a.kick);
    g.glow(cx, cy, H * (0.05 + 0.12 * a.kick));
    g.blend('alpha');
  },
};

export const beatGrid = {
  name: 'Beat Grid', energy: 0.65,
  setup: () => ({ cells: new Float32Array(4 * 16), step: -1 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cols = 16, rows = 4;
    g.clear(0.012, 0.012, 0.018);
    // A step sequencer that writes down where in the bar the hits land.
    const step = Math.floor(a.bar * cols) % cols;
    const vals = [a.kick, a.hitM, a.hitH, a.noteOn];
    for (let r = 0; r < rows; r++) {
      const i = r * cols + step;
      if (step !== s.step) s.cells[i] *= 0.35;
      s.cells[i] = Math.max(s.cells[i], vals[r]);
    }
    s.step = step;
    const gw = W * 0.86, gh = H * 0.6, x0 = (W - gw) / 2, y0 = (H - gh) / 2;
    const cw = gw / cols, ch = gh / rows, pad = Math.min(cw, ch) * 0.12;
    for (let r = 0; r < rows; r++) for (let c = 0; c < cols; c++) {
      const v = s.cells[r * cols + c];
      const x = x0 + c * cw + pad, y = y0 + r * ch + pad, w = cw - 2 * pad, h = ch - 2 * pad;
      const beat = c % 4 === 0;
      g.color(beat ? 0.09 : 0.06, beat ? 0.09 : 0.06, beat ? 0.11 : 0.075, 1);
      g.rect(x, y, w, h);
      if (v > 0.02) { p.set(g, r / 3, 0.3 + 0.7 * v, 0.35 + 0.65 * v); g.rect(x, y, w, h); }
      if (c === step) { g.color(1, 1, 1, 0.12 + 0.2 * a.pulse()); g.rect(x, y, w, h); }
    }
    // Playhead and beat markers.
    p.set(g, 0.5, 1, 0.9);
    g.rect(x0 + a.bar * gw - 1.5, y0 - H * 0.04, 3, gh + H * 0.08);
    for (let b = 0; b < 4; b++) {
      const on = Math.floor(a.bar * 4) === b;
      p.set(g, 0.5, on ? 1 : 0.25, 1);
      g.disc(x0 + (b * 4 + 2) * cw, y0 + gh + H * 0.07, H * (on ? 0.012 + 0.008 * a.pulse() : 0.007));
    }
  },
};

export const polygonLock = {
  name: 'Polygon Lock', energy: 0.5,
  setup: () => ({}),
  draw(g, a, p) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    g.fade(0.3);
    const sides = Math.max(3, Math.min(9, a.tsNum));
    const layers = 9;
    g.blend('add');
    for (let k = 0; k < layers; k++) {
      // Each layer turns by one side per bar (layer k turns k + 1 times as fast), so the
      // figure realigns exactly on every downbeat.
      const rot = (a.bar * (k + 1) / sides) * TAU * (k % 2 ? -1 : 1);
      const r = H * (0.06 + k * 0.05) * (1 + 0.12 * a.pulse(6) * (1 - k / layers)) * (1 + 0.25 * a.spectrumLevels[k * 24]);
      for (let i = 0; i < sides; i++) { const ang = rot + i / sides * TAU - Math.PI / 2; XS[i] = cx + Math.cos(ang) * r; YS[i] = cy + Math.sin(ang) * r; }
      p.set(g, k / (layers - 1), 0.5 + 0.5 * a.spectrumLevels[k * 24], 0.9);
      g.polyline(XS, YS, sides, Math.max(1.5, H * (0.006 - k * 0.0004)), true);
      for (let i = 0; i < sides; i++) g.glow(XS[i], YS[i], H * 0.012 * (1 + a.hitH));
    }
    g.blend('alpha');
  },
};

export const hexLattice = {
  name: 'Hex Lattice', energy: 0.5,
  setup: () => ({}),
  draw(g, a, p) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    g.clear(0.01, 0.01, 0.015);
    const r = H / 13, dx = r * Math.sqrt(3), dy = r * 1.5;
    const maxD = Math.hypot(W, H) / 2;
    const cols = Math.ceil(W / dx) + 2, rows = Math.ceil(H / dy) + 2;
    for (let j = -1; j < rows; j++) for (let i = -1; i < cols; i++) {
      const x = i * dx + (j & 1 ? dx / 2 : 0), y = j * dy;
      const d = Math.hypot(x - cx, y - cy) / maxD;
      // Bass in the middle, highs at the edges; a wave runs outwards on every beat.
      const v = a.spectrumLevels[Math.min(255, Math.floor(d * 240))];
      const wave = Math.max(0, 1 - Math.abs(d - a.beat * 1.2) * 8) * a.beatConf * (1 - a.idle);
      const k = clamp01(v * v + 0.5 * wave + 0.3 * a.kick * (1 - d));
      const rr = r * (0.55 + 0.38 * k);
      for (let s = 0; s < 6; s++) { const ang = s / 6 * TAU + Math.PI / 6; XS[s] = x + Math.cos(ang) * rr; YS[s] = y + Math.sin(ang) * rr; }
      p.set(g, d, 0.12 + 0.88 * k, 1);
      g.fan(x, y, XS, YS, 6);
    }
  },
};

export const barClock = {
  name: 'Bar Clock', energy: 0.4,
  setup: () => ({ bins: new Float32Array(64) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, R = H * 0.36;
    g.clear(0.01, 0.01, 0.014);
    const beats = Math.max(1, Math.round(a.tsNum * 4 / a.tsDen)) || 4;
    // Progress arc of the bar.
    const n = 128, end = a.bar * n;
    for (let i = 0; i < end; i++) {
      const ang = -Math.PI / 2 + i / n * TAU;
      XS[i] = cx + Math.cos(ang) * R; YS[i] = cy + Math.sin(ang) * R;
    }
    XS[Math.ceil(end)] = cx + Math.cos(-Math.PI / 2 + a.bar * TAU) * R;
    YS[Math.ceil(end)] = cy + Math.sin(-Math.PI / 2 + a.bar * TAU) * R;
    p.set(g, 0.3, 0.9, 1);
    g.polyline(XS, YS, Math.ceil(end) + 1, H * 0.014);
    g.color(0.1, 0.1, 0.12, 1);
    g.ring(cx, cy, R, H * 0.004);
    // Beat ticks.
    for (let b = 0; b < beats; b++) {
      const ang = -Math.PI / 2 + b / beats * TAU;
      const on = Math.floor(a.bar * beats) === b;
      p.set(g, b === 0 ? 0 : 0.6, on ? 1 : 0.35, 1);
      g.disc(cx + Math.cos(ang) * R, cy + Math.sin(ang) * R, H * (on ? 0.028 + 0.02 * a.pulse() : 0.016));
    }
    // Outer ring of spectrum ticks.
    pool(a.spectrumLevels, 64, s.bins, 0, 240);
    for (let i = 0; i < 128; i++) {
      const v = s.bins[i < 64 ? i : 127 - i];
      const ang = -Math.PI / 2 + i / 128 * TAU;
      const r1 = R * 1.12, r2 = r1 + H * 0.01 + v * v * H * 0.14;
      p.set(g, v, 0.25 + 0.75 * v, 1);
      g.line(cx + Math.cos(ang) * r1, cy + Math.sin(ang) * r1, cx + Math.cos(ang) * r2, cy + Math.sin(ang) * r2, H * 0.006);
    }
    // Hands: the bar and the beat.
    const ha = -Math.PI / 2 + a.bar * TAU, hb = -Math.PI / 2 + a.beat * TAU;
    p.set(g, 0.05, 1, 1);
    g.line(cx, cy, cx + Math.cos(ha) * R * 0.85, cy + Math.sin(ha) * R * 0.85, H * 0.008);
    p.set(g, 0.9, 0.8, 0.9);
    g.line(cx, cy, cx + Math.cos(hb) * R * 0.55, cy + Math.sin(hb) * R * 0.55, H * 0.005);
    p.set(g, 0.1, 1, 1);
    g.disc(cx, cy, H * (0.02 + 0.02 * a.kick));
  },
};

export const waveMesh = {
  name: 'Wave Mesh', energy: 0.55,
  setup: () => ({ rows: Array.from({ length: 28 }, () => new Float32Array(48)), head: 0, phase: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 48, R = s.rows.length, hz = H * 0.42;
    // The floor moves one row per sixteenth note; each new row takes the current spectrum.
    s.phase += a.dt * a.bpm / 60 * 4 * (0.3 + 0.7 * (1 - a.idle));
    while (s.phase >= 1) {
      s.phase -= 1;
      s.head = (s.head + 1) % R;
      const row = s.rows[s.head];
      for (let i = 0; i < n; i++) { const d = Math.abs(i / (n - 1) - 0.5) * 2; row[i] = a.spectrumLevels[Math.floor(d * 200)]; }
    }
    const sky = p.rgb(0.8, 0.15);
    g.color(0, 0, 0, 1);
    g.rectGrad(0, 0, W, hz, sky[0], sky[1], sky[2], 1);
    g.color(0, 0, 0, 1); g.rect(0, hz, W, H - hz);
    g.blend('add');
    p.set(g, 0.1, 0.9, 0.7 + 0.3 * a.bass);
    g.glow(W / 2, hz, H * (0.3 + 0.1 * a.kick));
    g.blend('alpha');
    const proj = (i, r, h) => {
      const z = (R - 1 - r + s.phase) / R; // 0 near, 1 far
      const persp = 1 / (0.15 + z * 2.2);
      XS[i] = W / 2 + (i / (n - 1) - 0.5) * W * 1.6 * persp * 0.6;
      YS[i] = hz + H * 0.58 * persp * 0.45 - h * H * 0.25 * persp;
      return z;
    };
    for (let r = 0; r < R; r++) {
      const row = s.rows[(s.head - R + 1 + r + R * 4) % R];
      let z = 0;
      for (let i = 0; i < n; i++) z = proj(i, r, row[i] * row[i]);
      p.set(g, 1 - z, 0.9 * (1 - z) + 0.1, 1);
      g.polyline(XS, YS, n, Math.max(1, H * 0.004 * (1 - z)));
    }
    for (let i = 0; i < n; i += 3) {
      // Longitudinal lines, projected into the upper half of the scratch arrays.
      for (let r = 0; r < R; r++) {
        const row = s.rows[(s.head - R + 1 + r + R * 4) % R];
        const z = (R - 1 - r + s.phase) / R, persp = 1 / (0.15 + z * 2.2);
        XS[1024 + r] = W / 2 + (i / (n - 1) - 0.5) * W * 1.6 * persp * 0.6;
        YS[1024 + r] = hz + H * 0.58 * persp * 0.45 - row[i] * row[i] * H * 0.25 * persp;
      }
      p.set(g, 0.5, 0.45, 0.7);
      g.polyline(XS.subarray(1024), YS.subarray(1024), R, Math.max(1, H * 0.0015));
    }
  },
};

export const sunburst = {
  name: 'Sunburst', energy: 0.7,
  setup: () => ({ bins: new Float32Array(36), rot: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, n = 36;
    g.clear(0.01, 0.008, 0.012);
    pool(a.spectrumLevels, n, s.bins, 0, 230);
    // Turns a twelfth per beat, eased so the step lands on the beat.
    const e = a.beat < 0.25 ? Math.sin(a.beat / 0.25 * Math.PI / 2) : 1;
    s.rot = (a.beats + e) * TAU / 24 * a.beatConf + a.t * 0.03;
    const L = Math.hypot(W, H) * 0.6;
    g.blend('add');
    for (let k = 0; k < 2 * n; k++) {
      const i = k < n ? k : 2 * n - 1 - k;
      const v = s.bins[i];
      const ang = s.rot + k / (2 * n) * TAU;
      const wdt = (TAU / (2 * n)) * (0.2 + 0.5 * v);
      const len = L * (0.35 + 0.65 * v);
      p.set(g, (k % 2) ? 0 : 1, 0.25 + 0.75 * v, 0.55);
      g.tri(cx, cy, cx + Math.cos(ang - wdt) * len, cy + Math.sin(ang - wdt) * len, cx + Math.cos(ang + wdt) * len, cy + Math.sin(ang + wdt) * len);
    }
    p.set(g, 0.1, 1, 0.8);
    g.glow(cx, cy, H * (0.18 + 0.14 * a.kick + 0.05 * a.loud));
    g.blend('alpha');
    p.set(g, 0.05, 1, 1);
    g.disc(cx, cy, H * (0.05 + 0.03 * a.kick));
  },
};
