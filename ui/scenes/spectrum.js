// Scenes drawn from the spectrum row.
import { TAU, XS, YS, pool, backdrop, clamp01 } from './util.js';

export const spectrumBars = {
  name: 'Spectrum Bars', energy: 0.55,
  setup: () => ({ bins: new Float32Array(72), caps: new Float32Array(72), capV: new Float32Array(72) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 72;
    backdrop(g, p, 0.02 * a.bass);
    pool(a.spectrumLevels, n, s.bins, 2, 250);
    const base = H * 0.74, maxH = H * 0.62;
    const gap = W * 0.004, bw = (W * 0.9 - gap * (n - 1)) / n, x0 = W * 0.05;
    for (let i = 0; i < n; i++) {
      const v = s.bins[i];
      const h = Math.max(2, v * v * maxH * (0.9 + 0.25 * a.kick));
      const x = x0 + i * (bw + gap), t = i / (n - 1);
      const c = p.rgb(t, 0.35 + 0.65 * v);
      g.color(c[0], c[1], c[2], 1);
      const top = p.rgb(t, 1);
      g.color(top[0], top[1], top[2], 1);
      g.rectGrad(x, base - h, bw, h, c[0] * 0.5, c[1] * 0.5, c[2] * 0.5, 1);
      // Reflection on the floor.
      g.color(c[0] * 0.3, c[1] * 0.3, c[2] * 0.3, 0.5);
      g.rectGrad(x, base + 3, bw, h * 0.35, 0, 0, 0, 0);
      // Falling peak caps.
      if (h > s.caps[i]) { s.caps[i] = h; s.capV[i] = 0; } else { s.capV[i] += H * 1.6 * a.dt; s.caps[i] = Math.max(0, s.caps[i] - s.capV[i] * a.dt); }
      p.set(g, t, 1, 0.9);
      g.rect(x, base - s.caps[i] - 6, bw, 3);
    }
    p.set(g, 0.5, 0.5, 0.35);
    g.rect(x0, base + 1, W * 0.9, 1.5);
  },
};

export const radialSpectrum = {
  name: 'Radial Spectrum', energy: 0.6,
  setup: () => ({ bins: new Float32Array(96), rot: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, n = 96;
    g.clear(0.01, 0.01, 0.015);
    pool(a.spectrumLevels, n, s.bins, 0, 240);
    s.rot += a.dt * (0.05 + 0.25 * a.mid);
    const r0 = H * (0.17 + 0.05 * a.kick + 0.02 * a.pulse());
    g.blend('add');
    p.set(g, 0, 0.6, 0.35 * (0.3 + a.bass));
    g.glow(cx, cy, r0 * 2.4);
    // Mirror halves so the lowest bands meet at the top and the highest at the bottom.
    for (let k = 0; k < 2 * n; k++) {
      const i = k < n ? k : 2 * n - 1 - k;
      const v = s.bins[i];
      const ang = -Math.PI / 2 + (k + 0.5) / (2 * n) * TAU + s.rot;
      const len = H * 0.04 + v * v * H * 0.3;
      const c = Math.cos(ang), sn = Math.sin(ang);
      p.set(g, i / n, 0.3 + 0.7 * v, 0.95);
      g.line(cx + c * r0, cy + sn * r0, cx + c * (r0 + len), cy + sn * (r0 + len), Math.max(2, H * 0.009));
      p.set(g, i / n, 1, 0.25 * v);
      g.glow(cx + c * (r0 + len), cy + sn * (r0 + len), H * 0.02);
    }
    g.blend('alpha');
    g.color(0.01, 0.01, 0.015, 1);
    g.disc(cx, cy, r0 * 0.92);
    p.set(g, 0.2, 0.6 + 0.4 * a.kick, 0.9);
    g.ring(cx, cy, r0 * 0.92, Math.max(2, H * 0.006));
    p.set(g, 0.8, 0.8, 0.5 + 0.5 * a.hitH);
    g.ring(cx, cy, r0 * (0.55 + 0.3 * a.level), H * 0.003);
  },
};

export const waterfall = {
  name: 'Waterfall', energy: 0.3,
  setup: () => ({ bins: new Float32Array(160), acc: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 160;
    const step = Math.max(2, Math.round(H / 240));
    g.feedback(1, 0, 0, step, 0.996);
    pool(a.spectrumLevels, n, s.bins, 0, 256);
    const top = H * 0.1, bw = W / n;
    for (let i = 0; i < n; i++) {
      const v = s.bins[i];
      p.set(g, 0.15 + 0.85 * v, Math.pow(v, 1.3) * 1.15, 1);
      g.rect(i * bw, top, bw + 0.5, step + 0.5);
    }
    // The live spectrum as a glowing contour above the falling history.
    g.color(0, 0, 0, 1);
    g.rect(0, 0, W, top);
    g.blend('add');
    for (let i = 0; i < n; i++) { XS[i] = (i + 0.5) * bw; YS[i] = top - 4 - s.bins[i] * top * 0.8; }
    p.set(g, 0.9, 1, 0.9);
    g.polyline(XS, YS, n, Math.max(1.5, H * 0.003));
    g.blend('alpha');
  },
};

export const ridgelines = {
  name: 'Ridgelines', energy: 0.35,
  setup: () => ({ hist: Array.from({ length: 36 }, () => new Float32Array(80)), head: 0, acc: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 80, rows = s.hist.length;
    s.acc += a.dt;
    const period = 60 / Math.max(60, a.bpm) / 4;
    if (s.acc >= period) {
      s.acc %= period;
      s.head = (s.head + 1) % rows;
      const row = s.hist[s.head];
      pool(a.spectrumLevels, n, row, 0, 220);
    }
    g.clear(0.008, 0.008, 0.012);
    const x0 = W * 0.2, x1 = W * 0.8, y0 = H * 0.16, y1 = H * 0.9;
    for (let r = 0; r < rows; r++) {
      // Oldest at the back (top), newest in front.
      const row = s.hist[(s.head + 1 + r) % rows];
      const depth = r / (rows - 1);
      const base = y0 + depth * (y1 - y0);
      const amp = H * (0.12 + 0.1 * depth);
      for (let i = 0; i < n; i++) {
        const u = i / (n - 1);
        const env = Math.sin(u * Math.PI) ** 1.5;
        XS[i] = x0 + u * (x1 - x0);
        YS[i] = base - row[i] * row[i] * amp * env - Math.sin(u * 37 + r * 1.7) * env * H * 0.002;
      }
      // Each ridge hides the ones behind it.
      g.color(0.008, 0.008, 0.012, 1);
      for (let i = 1; i < n; i++) g.quad(XS[i - 1], YS[i - 1], XS[i], YS[i], XS[i], base + 4, XS[i - 1], base + 4);
      p.set(g, depth, 0.25 + 0.75 * depth, 1);
      g.polyline(XS, YS, n, Math.max(1.2, H * 0.0025));
    }
  },
};

export const dotMatrix = {
  name: 'Dot Matrix', energy: 0.5,
  setup: () => ({ bins: new Float32Array(64), hold: new Float32Array(64) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cols = 64, rows = 32;
    g.clear(0.02, 0.02, 0.025);
    pool(a.spectrumLevels, cols / 2, s.bins, 0, 230);
    const cell = Math.min(W / (cols + 4), H / (rows + 4));
    const ox = (W - cell * cols) / 2 + cell / 2, oy = (H - cell * rows) / 2 + cell / 2;
    for (let c = 0; c < cols; c++) {
      // Mirrored around the centre: bass in the middle, air at the edges.
      const b = c < cols / 2 ? cols / 2 - 1 - c : c - cols / 2;
      const v = s.bins[b];
      const lit = Math.round(v * v * rows * (0.85 + 0.3 * a.kick));
      s.hold[c] = Math.max(lit, s.hold[c] - a.dt * 14);
      const hold = Math.round(s.hold[c]);
      for (let r = 0; r < rows; r++) {
        const level = rows - 1 - r;
        const x = ox + c * cell, y = oy + r * cell;
        if (level < lit) {
          p.set(g, level / rows, 0.55 + 0.45 * (level / rows), 1);
          g.disc(x, y, cell * 0.38);
        } else if (level === hold && hold > 0) {
          p.set(g, 1, 1, 0.9);
          g.disc(x, y, cell * 0.38);
        } else {
          g.color(0.07, 0.07, 0.08, 1);
          g.disc(x, y, cell * 0.3);
        }
      }
    }
  },
};

export const horizon = {
  name: 'Horizon', energy: 0.4,
  setup: () => ({ bins: new Float32Array(96), slow: new Float32Array(96) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 96, cy = H * 0.56;
    pool(a.spectrumLevels, n, s.bins, 0, 240);
    for (let i = 0; i < n; i++) s.slow[i] = Math.max(s.bins[i], s.slow[i] - a.dt * 0.35);
    const sky = p.rgb(0.1, 0.12 + 0.1 * a.loud);
    g.color(0.005, 0.005, 0.01, 1);
    g.rectGrad(0, 0, W, cy, sky[0], sky[1], sky[2], 1);
    g.color(sky[0] * 0.6, sky[1] * 0.6, sky[2] * 0.6, 1);
    g.rectGrad(0, cy, W, H - cy, 0, 0, 0, 1);
    // A sun that swells with the bass.
    g.blend('add');
    p.set(g, 0.05, 0.9, 0.5 + 0.4 * a.bass);
    g.glow(W / 2, cy, H * (0.22 + 0.08 * a.bass));
    g.blend('alpha');
    const layers = [[s.slow, 0.7, 0.35], [s.bins, 1, 1]];
    for (const [arr, scale, bright] of layers) {
      for (let i = 0; i < n; i++) {
        // Low bands in the middle, mirrored to both sides.
        const u = i / (n - 1);
        const b = arr[Math.floor(Math.abs(u - 0.5) * 2 * (n - 1))];
        XS[i] = u * W; YS[i] = b * b * H * 0.4 * scale + H * 0.004;
      }
      for (let i = 1; i < n; i++) {
        const c = p.rgb(0.3 + 0.7 * Math.abs(i / n - 0.5) * 2, bright * 0.9);
        g.color(c[0], c[1], c[2], 1);
        g.quad(XS[i - 1], cy - YS[i - 1], XS[i], cy - YS[i], XS[i], cy, XS[i - 1], cy);
        g.color(c[0] * 0.35, c[1] * 0.35, c[2] * 0.35, 1);
        g.quad(XS[i - 1], cy, XS[i], cy, XS[i], cy + YS[i] * 0.6, XS[i - 1], cy + YS[i - 1] * 0.6);
      }
    }
    p.set(g, 0.5, 1, 0.8);
    g.rect(0, cy - 1, W, 2);
  },
};
