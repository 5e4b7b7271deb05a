// Scenes built on notes, bands, loudness and punch.
import { TAU, XS, YS, Trigger, rng, clamp01 } from './util.js';

// Display band (20 Hz .. 16 kHz, log-spaced over 256 bands) to MIDI note number.
const bandToNote = (b) => 69 + 12 * Math.log2((20 * Math.pow(800, b / 255)) / 440);

export const noteWheel = {
  name: 'Note Wheel', energy: 0.3,
  setup: () => ({ glow: new Float32Array(12), oct: new Float32Array(12), last: -1, lastCount: -1 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, R = H * 0.38;
    g.fade(0.5);
    for (let i = 0; i < 12; i++) s.glow[i] *= Math.exp(-a.dt * 2.5);
    if (a.noteOn > 0.02 && a.note >= 0) {
      const pc = a.note % 12;
      s.glow[pc] = Math.max(s.glow[pc], a.noteOn);
      s.oct[pc] = Math.floor(a.note / 12);
    } else if (a.level > 0.05) {
      // Without MIDI, light the pitch class of the strongest tonal band above 60 Hz.
      let best = 48, bv = 0;
      for (let b = 48; b < 200; b++) if (a.spectrumLevels[b] > bv) { bv = a.spectrumLevels[b]; best = b; }
      const n = Math.round(bandToNote(best));
      const pc = ((n % 12) + 12) % 12;
      s.glow[pc] = Math.max(s.glow[pc], bv * 0.7);
      s.oct[pc] = Math.floor(n / 12);
    }
    // Circle of fifths: neighbours are harmonically close.
    g.blend('add');
    for (let k = 0; k < 12; k++) {
      const pc = (k * 7) % 12;
      const v = s.glow[pc];
      const a0 = -Math.PI / 2 + (k - 0.45) / 12 * TAU, a1 = -Math.PI / 2 + (k + 0.45) / 12 * TAU;
      const r0 = R * 0.45, r1 = R * (0.8 + 0.25 * v);
      const m = 10;
      for (let i = 0; i <= m; i++) { const an = a0 + (a1 - a0) * i / m; XS[i] = cx + Math.cos(an) * r1; YS[i] = cy + Math.sin(an) * r1; }
      for (let i = 0; i <= m; i++) { const an = a1 + (a0 - a1) * i / m; XS[m + 1 + i] = cx + Math.cos(an) * r0; YS[m + 1 + i] = cy + Math.sin(an) * r0; }
      p.set(g, pc / 12, 0.12 + 0.88 * v, 0.9);
      for (let i = 0; i < m; i++) g.quad(XS[i], YS[i], XS[i + 1], YS[i + 1], XS[2 * m + 1 - i - 1], YS[2 * m + 1 - i - 1], XS[2 * m + 1 - i], YS[2 * m + 1 - i]);
      if (v > 0.1) {
        const am = -Math.PI / 2 + k / 12 * TAU;
        // Octave shown as the distance of a bead from the centre.
        const ro = R * (0.2 + 0.035 * Math.max(0, Math.min(9, s.oct[pc])));
        p.set(g, pc / 12, 1, v);
        g.glow(cx + Math.cos(am) * ro, cy + Math.sin(am) * ro, H * 0.03 * (0.5 + v));
        g.glow(cx + Math.cos(am) * R * 1.12, cy + Math.sin(am) * R * 1.12, H * 0.05 * v);
      }
    }
    g.blend('alpha');
    p.set(g, 0.5, 0.35, 0.8);
    g.ring(cx, cy, R * 0.42, H * 0.003);
  },
};

export const bandPillars = {
  name: 'Band Pillars', energy: 0.75,
  setup: () => ({ flash: new Float32Array(3), ts: [new Trigger(0.5, 0.2), new Trigger(0.5, 0.2), new Trigger(0.5, 0.2)], shake: 0, R: rng(4) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h;
    g.clear(0.01, 0.01, 0.015);
    const vals = [a.bass, a.mid, a.high], hits = [a.hitK, a.hitM, a.hitH];
    s.shake = Math.max(s.shake * Math.exp(-a.dt * 10), a.punch);
    const sx = (s.R() - 0.5) * s.shake * H * 0.02, sy = (s.R() - 0.5) * s.shake * H * 0.02;
    const base = H * 0.82, pw = W * 0.18, gap = W * 0.08, x0 = (W - 3 * pw - 2 * gap) / 2;
    for (let i = 0; i < 3; i++) {
      if (s.ts[i].test(hits[i])) s.flash[i] = 1;
      s.flash[i] *= Math.exp(-a.dt * 6);
      const h = H * 0.05 + vals[i] * H * 0.68;
      const x = x0 + i * (pw + gap) + sx;
      const top = p.rgb(i / 2, 1), bot = p.rgb(i / 2, 0.25);
      g.color(top[0], top[1], top[2], 1);
      g.rectGrad(x, base - h + sy, pw, h, bot[0], bot[1], bot[2], 1);
      g.color(bot[0], bot[1], bot[2], 0.35);
      g.rectGrad(x, base + 4 + sy, pw, h * 0.3, 0, 0, 0, 0);
      if (s.flash[i] > 0.02) {
        g.blend('add');
        p.set(g, i / 2, 1, s.flash[i]);
        g.glow(x + pw / 2, base - h + sy, pw * 1.1);
        g.color(1, 1, 1, s.flash[i] * 0.8);
        g.rect(x - pw * 0.1, base - h - H * 0.02 + sy, pw * 1.2, H * 0.008);
        g.blend('alpha');
      }
    }
  },
};

export const pulseOrb = {
  name: 'Pulse Orb', energy: 0.45,
  setup: () => ({ peak: 0, rad: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, n = 160;
    g.fade(0.4);
    s.rad += ((0.16 + 0.16 * a.loud + 0.1 * a.punch) - s.rad) * Math.min(1, a.dt * 12);
    s.peak = Math.max(s.peak - a.dt * 0.15, s.rad + 0.03 * a.peak);
    // Stereo width stretches the orb sideways.
    const sxw = 1 + 0.5 * a.stereo;
    for (let i = 0; i < n; i++) {
      const ang = i / n * TAU;
      const j = i < n / 2 ? i : n - 1 - i;
      const r = H * s.rad * (1 + 0.35 * a.mono[Math.floor(j / (n / 2) * 255)]);
      XS[i] = cx + Math.cos(ang) * r * sxw; YS[i] = cy + Math.sin(ang) * r;
    }
    g.blend('add');
    p.set(g, 0.1, 0.7, 0.35 + 0.3 * a.kick);
    g.glow(cx, cy, H * s.rad * 3);
    p.set(g, 0.25, 0.55, 0.9);
    g.fan(cx, cy, XS, YS, n);
    p.set(g, 0.6, 1, 1);
    g.polyline(XS, YS, n, H * 0.005, true);
    p.set(g, 1, 0.8, 0.7);
    g.ring(cx, cy, H * s.peak * 1.25, H * 0.004);
    g.blend('alpha');
  },
};

export const lightning = {
  name: 'Lightning', energy: 0.9,
  setup: () => ({ R: rng(17), tk: new Trigger(0.45, 0.2), tp: new Trigger(0.4, 0.2), flash: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, R = s.R;
    g.fade(0.28);
    const bolt = (x0, y0, x1, y1, width, t, depth) => {
      // Midpoint displacement, with branches splitting off.
      let n = 1;
      XS[0] = x0; YS[0] = y0; XS[1] = x1; YS[1] = y1;
      let rough = Math.hypot(x1 - x0, y1 - y0) * 0.25;
      for (let level = 0; level < 6; level++) {
        for (let i = n; i >= 1; i--) { XS[2 * i] = XS[i]; YS[2 * i] = YS[i]; }
        for (let i = 0; i < n; i++) {
          XS[2 * i + 1] = (XS[2 * i] + XS[2 * i + 2]) / 2 + (R() - 0.5) * rough;
          YS[2 * i + 1] = (YS[2 * i] + YS[2 * i + 2]) / 2 + (R() - 0.5) * rough;
        }
        n *= 2; rough *= 0.55;
      }
      p.set(g, t, 0.7, 0.3); g.polyline(XS, YS, n + 1, width * 4);
      p.set(g, t, 1, 1); g.polyline(XS, YS, n + 1, width);
      if (depth < 1) {
        const k = Math.floor(R() * n * 0.6) + 4;
        const bx = XS[k], by = YS[k];
        bolt(bx, by, bx + (R() - 0.5) * W * 0.3, by + H * (0.15 + R() * 0.2), width * 0.6, t + 0.2, depth + 1);
      }
    };
    g.blend('add');
    if (s.tk.test(a.kick)) {
      s.flash = a.kick;
      const x = W * (0.2 + 0.6 * R());
      bolt(x, 0, x + (R() - 0.5) * W * 0.3, H * (0.75 + 0.25 * R()), H * 0.004 * (1 + a.kick), 0.1, 0);
    }
    if (s.tp.test(a.hitM + a.punch * 0.5)) {
      const y = H * (0.2 + 0.6 * R());
      bolt(0, y, W, y + (R() - 0.5) * H * 0.4, H * 0.0025, 0.6, 1);
    }
    if (a.hitH > 0.6 && R() < 0.3) {
      const x = W * R(), y = H * R();
      bolt(x, y, x + (R() - 0.5) * W * 0.12, y + (R() - 0.5) * H * 0.12, H * 0.0015, 0.9, 1);
    }
    // A standing arc between two electrodes, crawling with the mids and thickening with level.
    const ey = H * 0.86, ex0 = W * 0.12, ex1 = W * 0.88;
    bolt(ex0, ey, ex1, ey - H * 0.05 * Math.sin(a.t * 0.7), H * (0.0015 + 0.004 * a.level), 0.35 + 0.3 * a.mid, 1);
    p.set(g, 0.35, 0.9, 0.6 + 0.4 * a.level);
    g.glow(ex0, ey, H * 0.05); g.glow(ex1, ey, H * 0.05);
    s.flash *= Math.exp(-a.dt * 12);
    g.color(1, 1, 1, 0.12 * s.flash);
    g.rect(0, 0, W, H);
    g.blend('alpha');
  },
};
