// Scenes drawn from the waveform rows.
import { TAU, XS, YS, backdrop } from './util.js';

export const oscilloscope = {
  name: 'Oscilloscope', energy: 0.35,
  setup: () => ({}),
  draw(g, a, p) {
    const W = g.w, H = g.h, cy = H / 2, n = 256;
    g.fade(0.32);
    // Graticule.
    g.color(0.1, 0.12, 0.12, 0.6);
    for (let i = 1; i < 10; i++) g.rect(i * W / 10, 0, 1, H);
    for (let i = 1; i < 8; i++) g.rect(0, i * H / 8, W, 1);
    const amp = H * 0.36;
    for (let i = 0; i < n; i++) { XS[i] = W * 0.03 + i / (n - 1) * W * 0.94; YS[i] = cy - a.mono[i] * amp; }
    g.blend('add');
    p.set(g, 0.3, 0.5, 0.22);
    g.polyline(XS, YS, n, H * (0.02 + 0.03 * a.loud));
    p.set(g, 0.15, 1, 1);
    g.polyline(XS, YS, n, Math.max(2, H * (0.004 + 0.004 * a.peak)));
    // Transients tick the trace bright at its highest point.
    let m = 0;
    for (let i = 1; i < n; i++) if (YS[i] < YS[m]) m = i;
    p.set(g, 0.9, 1, 0.6 * a.onset);
    g.glow(XS[m], YS[m], H * 0.06);
    g.blend('alpha');
  },
};

export const stereoXY = {
  name: 'Stereo XY', energy: 0.3,
  setup: () => ({}),
  draw(g, a, p) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, n = 256;
    g.feedback(1.006 + 0.02 * a.kick, 0.004 + 0.01 * a.stereo, 0, 0, 0.86);
    const s = H * 0.42;
    // Mid/side view: mono content stands upright, wide content spreads sideways.
    for (let i = 0; i < n; i++) {
      const l = a.left[i], r = a.right[i];
      XS[i] = cx + (l - r) * s * 0.9;
      YS[i] = cy - (l + r) * s * 0.55;
    }
    g.blend('add');
    p.set(g, a.stereo, 0.6, 0.5);
    g.polyline(XS, YS, n, Math.max(1.5, H * 0.004));
    p.set(g, 0.2 + 0.6 * a.stereo, 1, 0.25);
    for (let i = 0; i < n; i += 4) g.glow(XS[i], YS[i], H * 0.012);
    g.blend('alpha');
    g.color(0.2, 0.2, 0.22, 0.25);
    g.line(cx - s, cy + s * 0.0, cx + s, cy, 1);
    g.line(cx, cy - s * 0.7, cx, cy + s * 0.7, 1);
  },
};

export const circularScope = {
  name: 'Circular Scope', energy: 0.45,
  setup: () => ({ rot: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2, n = 256;
    g.feedback(1.012 + 0.03 * a.kick, 0.02 * Math.sin(a.beat * TAU) * a.beatConf, 0, 0, 0.8);
    s.rot += a.dt * (0.2 + a.mid);
    const rings = [[a.mono, 0.27, 0.0, 1], [a.left, 0.2, 0.5, 0.6], [a.right, 0.34, 1.0, 0.6]];
    g.blend('add');
    for (const [wave, rr, t, w] of rings) {
      const r0 = H * rr * (1 + 0.08 * a.pulse());
      for (let i = 0; i < n; i++) {
        // Symmetric wrap so the closed loop has no seam.
        const j = i < n / 2 ? i * 2 : (n - 1 - i) * 2 + 1;
        const ang = i / n * TAU + s.rot * (t - 0.5 || 1);
        const r = r0 + wave[Math.min(255, j)] * H * 0.12;
        XS[i] = cx + Math.cos(ang) * r; YS[i] = cy + Math.sin(ang) * r;
      }
      p.set(g, t, 0.9, 0.8 * w);
      g.polyline(XS, YS, n, Math.max(1.5, H * 0.004 * w), true);
    }
    p.set(g, 0.5, 1, 0.5 * a.kick);
    g.glow(cx, cy, H * 0.15);
    g.blend('alpha');
  },
};

export const ribbons = {
  name: 'Ribbons', energy: 0.4,
  setup: () => ({ echoes: Array.from({ length: 8 }, () => new Float32Array(128)), head: 0, acc: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 128;
    backdrop(g, p, 0.02);
    s.acc += a.dt;
    if (s.acc > 0.045) {
      s.acc = 0;
      s.head = (s.head + 1) % s.echoes.length;
      const e = s.echoes[s.head];
      for (let i = 0; i < n; i++) e[i] = a.mono[i * 2];
    }
    g.blend('add');
    const lanes = [[a.left, 0.3, 0.0], [null, 0.5, 0.5], [a.right, 0.7, 1.0]];
    for (const [wave, yy, t] of lanes) {
      for (let k = s.echoes.length - 1; k >= 0; k--) {
        const src = wave || s.echoes[(s.head - k + s.echoes.length) % s.echoes.length];
        const off = k * H * 0.012;
        const bright = (1 - k / s.echoes.length) * (wave ? 0.7 : 1);
        for (let i = 0; i < n; i++) {
          const u = i / (n - 1);
          const env = Math.sin(u * Math.PI);
          XS[i] = u * W;
          YS[i] = H * yy + off + src[wave ? i * 2 : i] * H * 0.16 * env + Math.sin(u * 6 + a.t * 0.7 + k * 0.4) * H * 0.015;
        }
        for (let i = 1; i < n; i++) {
          p.set(g, t * 0.8 + 0.2 * (i / n), bright * 0.5, 0.35);
          g.quad(XS[i - 1], YS[i - 1], XS[i], YS[i], XS[i], YS[i] + H * 0.02, XS[i - 1], YS[i - 1] + H * 0.02);
        }
        p.set(g, t, bright, 0.9);
        g.polyline(XS, YS, n, Math.max(1, H * 0.002));
        if (wave) break;
      }
    }
    g.blend('alpha');
  },
};

export const stereoCurtains = {
  name: 'Stereo Curtains', energy: 0.45,
  setup: () => ({ width: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 200;
    g.fade(0.4);
    s.width += (a.stereo - s.width) * Math.min(1, a.dt * 4);
    const spread = W * (0.035 + 0.12 * s.width);
    g.blend('add');
    for (let side = -1; side <= 1; side += 2) {
      const wave = side < 0 ? a.left : a.right;
      for (let k = 0; k < 7; k++) {
        const xc = W / 2 + side * (W * 0.02 + k * spread);
        for (let i = 0; i < n; i++) {
          const u = i / (n - 1);
          YS[i] = u * H;
          XS[i] = xc + wave[Math.floor(u * 255)] * W * 0.06 * (1 - k * 0.09) * Math.sin(u * Math.PI);
        }
        p.set(g, side < 0 ? k / 10 : 1 - k / 10, 1 - k * 0.12, 0.75);
        g.polyline(XS, YS, n, Math.max(1.2, H * (0.005 - k * 0.0005)));
      }
    }
    // The shared (mono) part glows down the middle.
    p.set(g, 0.5, 0.8, 0.25 + 0.5 * (1 - s.width) * a.level);
    g.glow(W / 2, H / 2, H * 0.5);
    g.blend('alpha');
  },
};
