// Full-screen fields. With WebGL2 they are fragment shaders (sources below); without it each
// scene paints a coarser version of the same picture from shapes.
import { TAU, XS, YS, Trigger, rng, clamp01, mix } from './util.js';

export const FIELD_SHADERS = {
  plasma: `
void main() {
  vec2 p = (vUv - 0.5) * vec2(uRes.x / uRes.y, 1.0) * 3.0;
  float t = uTime * uA.x;
  p += uA.y * 0.35 * vec2(sin(p.y * 2.0 + t), cos(p.x * 2.0 - t));
  float v = sin(p.x * 1.3 + t) + sin(p.y * 1.7 - t * 1.1) + sin((p.x + p.y) * 1.1 + t * 0.7) + sin(length(p) * 2.2 - t * 1.3);
  v *= 0.25;
  float bands = 0.5 + 0.5 * sin(v * 6.2832 * (1.5 + uA.z * 2.0));
  float b = 0.08 + 0.55 * bands * (0.35 + 0.65 * uA.w) + 0.25 * uB.x * bands;
  o = vec4(pal(0.5 + 0.5 * v, b), 1.0);
}`,
  lava: `
void main() {
  float asp = uRes.x / uRes.y;
  vec2 p = (vUv - 0.5) * vec2(asp, 1.0);
  float t = uTime * uA.x, f = 0.0, hue = 0.0;
  for (int i = 0; i < 7; i++) {
    float fi = float(i);
    vec2 c = vec2(sin(t * 0.31 * (1.0 + fi * 0.13) + fi * 1.7) * 0.36 * asp, cos(t * 0.27 * (1.0 + fi * 0.11) + fi * 2.3) * 0.32);
    float r = 0.07 + 0.06 * spectrumAt(fi / 7.0 * 0.8) + 0.03 * uA.y;
    float k = r * r / max(dot(p - c, p - c), 1e-4);
    f += k; hue += k * fi / 6.0;
  }
  hue /= max(f, 1e-4);
  float inside = smoothstep(0.95, 1.05, f);
  float rim = smoothstep(0.6, 1.0, f) * (1.0 - inside);
  vec3 col = pal(hue, 0.25 + 0.6 * inside + 0.3 * uB.x * inside) * inside + pal(hue, 1.0) * rim * 0.7;
  col += pal(0.5, 0.06) * (1.0 - inside);
  o = vec4(col, 1.0);
}`,
  kaleido: `
void main() {
  vec2 p = (vUv - 0.5) * vec2(uRes.x / uRes.y, 1.0);
  float r = length(p), a = atan(p.y, p.x) + uA.x;
  float seg = 6.2832 / uA.y;
  a = mod(a, seg); a = abs(a - seg * 0.5);
  vec2 q = vec2(cos(a), sin(a)) * r;
  float s = spectrumAt(clamp(r * 1.5, 0.0, 1.0));
  float f = sin(q.x * 14.0 - uTime * 1.2 + s * 3.0) + sin(q.y * 22.0 + uTime * 0.7) * 0.8 + sin((q.x + q.y) * 9.0 - uTime * 0.4);
  float lines = 0.03 / (abs(fract(f * 0.5 + uA.z) - 0.5) + 0.03);
  float b = clamp(lines * (0.25 + 0.75 * s) * (0.5 + 0.5 * uA.w), 0.0, 1.0);
  vec3 col = pal(fract(r * 1.2 + f * 0.08), b) + pal(0.0, uB.x * 0.5) * smoothstep(0.25, 0.0, r);
  o = vec4(col, 1.0);
}`,
  aurora: `
void main() {
  vec2 p = vUv;
  float x = p.x * uRes.x / uRes.y;
  vec3 col = vec3(0.0);
  for (int i = 0; i < 3; i++) {
    float fi = float(i);
    float y0 = 0.42 + 0.1 * fi * 0.5 + 0.1 * sin(x * (1.1 + fi * 0.4) + uTime * (0.15 + fi * 0.05) * uA.x + fi * 2.0) + 0.04 * sin(x * 4.0 - uTime * 0.5 + fi);
    float d = p.y - y0;
    float curtain = exp(-max(d, 0.0) * (7.0 - 4.0 * uA.y)) * smoothstep(-0.03, 0.005, d);
    float rays = 0.55 + 0.45 * sin(x * 38.0 + fi * 3.0 + uTime * 0.6 + sin(x * 6.0 + uTime * 0.2) * 2.0);
    col += pal(fi / 2.0, 1.0) * curtain * rays * (0.2 + 0.8 * spectrumAt(0.1 + fi * 0.25)) * (1.0 + 0.5 * uB.x);
  }
  col += pal(0.5, 0.05) * (1.0 - p.y);
  o = vec4(col, 1.0);
}`,
};

function plasmaAt(x, y, t, warp) {
  x += warp * 0.35 * Math.sin(y * 2 + t); y += warp * 0.35 * Math.cos(x * 2 - t);
  return 0.25 * (Math.sin(x * 1.3 + t) + Math.sin(y * 1.7 - t * 1.1) + Math.sin((x + y) * 1.1 + t * 0.7) + Math.sin(Math.hypot(x, y) * 2.2 - t * 1.3));
}

export const plasma = {
  name: 'Plasma', energy: 0.35,
  setup: () => ({ u: new Float32Array(4), v: new Float32Array(4), time: 0 }),
  draw(g, a, p, s) {
    // Motion speed follows the tempo; the bass bends the field; loudness lights it.
    s.time += a.dt * (0.25 + 0.5 * a.bpm / 120 * (0.3 + 0.7 * a.level));
    s.u[0] = 1; s.u[1] = a.bass; s.u[2] = a.mid; s.u[3] = 0.3 + 0.7 * a.loud;
    s.v[0] = a.kick;
    const t = s.time;
    const tm = a.t; a.t = t;
    const ok = g.field('plasma', a, s.u, s.v, p, a.spectrumLevels);
    a.t = tm;
    if (ok) return;
    const W = g.w, H = g.h, cols = 48, rows = 27, cw = W / cols, ch = H / rows;
    for (let j = 0; j < rows; j++) for (let i = 0; i < cols; i++) {
      const x = (i / cols - 0.5) * (W / H) * 3, y = (j / rows - 0.5) * 3;
      const v = plasmaAt(x, y, t, a.bass);
      const bands = 0.5 + 0.5 * Math.sin(v * TAU * (1.5 + a.mid * 2));
      p.set(g, 0.5 + 0.5 * v, 0.08 + 0.55 * bands * s.u[3] + 0.25 * a.kick * bands, 1);
      g.rect(i * cw, j * ch, cw + 1, ch + 1);
    }
  },
};

export const lava = {
  name: 'Lava', energy: 0.2, res: 0.5,
  setup: () => ({ u: new Float32Array(4), v: new Float32Array(4), time: 0 }),
  draw(g, a, p, s) {
    s.time += a.dt * (0.4 + 0.8 * a.level + 0.3 * a.bpm / 120 * (1 - a.idle));
    s.u[0] = 1; s.u[1] = a.bass; s.v[0] = a.kick;
    const tm = a.t; a.t = s.time;
    const ok = g.field('lava', a, s.u, s.v, p, a.spectrumLevels);
    a.t = tm;
    if (ok) return;
    const W = g.w, H = g.h, asp = W / H, t = s.time;
    g.clear(0.02, 0.02, 0.03);
    g.blend('add');
    for (let i = 0; i < 7; i++) {
      const cx = Math.sin(t * 0.31 * (1 + i * 0.13) + i * 1.7) * 0.36 * asp, cy = Math.cos(t * 0.27 * (1 + i * 0.11) + i * 2.3) * 0.32;
      const r = 0.07 + 0.06 * a.spectrumLevels[Math.floor(i / 7 * 0.8 * 255)] + 0.03 * a.bass;
      p.set(g, i / 6, 0.9, 0.9);
      g.glow(W / 2 + cx * H, H / 2 + cy * H, r * H * 2.6);
    }
    g.blend('alpha');
  },
};

export const kaleidoscope = {
  name: 'Kaleidoscope', energy: 0.6, res: 0.75,
  setup: () => ({ u: new Float32Array(4), v: new Float32Array(4), shift: 0 }),
  draw(g, a, p, s) {
    const segs = 2 * Math.max(3, Math.min(8, a.tsNum + 2));
    s.shift += a.dt * 0.1 + a.onset * a.dt * 0.6;
    // One segment's worth of turn per bar.
    s.u[0] = (a.bars + a.bar) * TAU / segs; s.u[1] = segs; s.u[2] = s.shift; s.u[3] = 0.4 + 0.6 * a.loud;
    s.v[0] = a.kick;
    if (g.field('kaleido', a, s.u, s.v, p, a.spectrumLevels)) return;
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    g.fade(0.35);
    g.blend('add');
    const L = H * 0.6;
    // Mirrored shards: each segment repeats the same spectrum-shaped triangles, flipped.
    for (let k = 0; k < segs; k++) {
      const flip = k % 2 ? 1 : -1;
      for (let i = 0; i < 8; i++) {
        const v = a.spectrumLevels[i * 30];
        const a0 = s.u[0] + k / segs * TAU, a1 = a0 + flip * (TAU / segs) * (0.3 + 0.6 * v);
        const r1 = L * (i / 8 + 0.05 * Math.sin(s.shift * 3 + i)), r2 = r1 + L * 0.12 * (0.4 + v);
        p.set(g, i / 8, 0.25 + 0.75 * v, 0.5);
        g.tri(cx + Math.cos(a0) * r1, cy + Math.sin(a0) * r1, cx + Math.cos(a0) * r2, cy + Math.sin(a0) * r2, cx + Math.cos(a1) * (r1 + r2) / 2, cy + Math.sin(a1) * (r1 + r2) / 2);
      }
    }
    g.blend('alpha');
  },
};

export const aurora = {
  name: 'Aurora', energy: 0.1, res: 0.5,
  setup: () => ({ u: new Float32Array(4), v: new Float32Array(4), time: 0 }),
  draw(g, a, p, s) {
    s.time += a.dt * (0.5 + a.sus);
    s.u[0] = 1; s.u[1] = clamp01(a.bright + 0.3 * a.level); s.v[0] = a.hitH;
    const tm = a.t; a.t = s.time;
    const ok = g.field('aurora', a, s.u, s.v, p, a.spectrumLevels);
    a.t = tm;
    if (ok) return;
    const W = g.w, H = g.h, n = 96, t = s.time;
    g.clear(0.01, 0.01, 0.02);
    g.blend('add');
    for (let k = 0; k < 4; k++) {
      const level = 0.15 + 0.7 * a.spectrumLevels[Math.floor((0.1 + k * 0.2) * 255)];
      for (let i = 0; i < n; i++) {
        const x = i / n * W / H;
        const y0 = 0.42 + 0.05 * k + 0.1 * Math.sin(x * (1.1 + k * 0.4) + t * (0.15 + k * 0.05) + k * 2) + 0.04 * Math.sin(x * 4 - t * 0.5 + k);
        const rays = 0.55 + 0.45 * Math.sin(x * 38 + k * 3 + t * 0.6);
        const c = p.rgb(k / 3, 1);
        g.color(c[0], c[1], c[2], 0.5 * level * rays);
        g.rectGrad(i / n * W, (1 - y0) * H - H * 0.3, W / n + 1, H * 0.3, c[0], c[1], c[2], 0);
      }
    }
    g.blend('alpha');
  },
};

export const zoomTunnel = {
  name: 'Zoom Tunnel', energy: 0.8,
  setup: () => ({}),
  draw(g, a, p) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    // Flying forwards through what was drawn before: speed follows tempo and bass.
    const zoom = 1.025 + 0.02 * a.bpm / 120 * (1 - a.idle) + 0.07 * a.bass * a.bass;
    g.feedback(zoom, 0.012 * Math.sin((a.bars + a.bar) * TAU / 4) + 0.01 * a.mid, 0, 0, 0.93);
    const n = 96, r0 = H * (0.05 + 0.03 * a.kick);
    for (let i = 0; i < n; i++) {
      const ang = i / n * TAU;
      const v = a.spectrumLevels[Math.floor(Math.abs(i / n - 0.5) * 2 * 200)];
      const r = r0 * (1 + 0.9 * v * v);
      XS[i] = cx + Math.cos(ang) * r * 1.3; YS[i] = cy + Math.sin(ang) * r;
    }
    g.blend('add');
    p.set(g, (a.beats % 4) / 4 + a.beat * 0.25, 0.6 + 0.4 * a.loud, 0.9);
    g.polyline(XS, YS, n, Math.max(1.5, H * (0.004 + 0.01 * a.kick)), true);
    if (a.beatHit) { p.set(g, 1, 1, 0.8); g.ring(cx, cy, r0 * 1.6, H * 0.008); }
    g.blend('alpha');
  },
};

export const strobeSlices = {
  name: 'Strobe Slices', energy: 0.95,
  setup: () => ({ flash: new Float32Array(24), off: new Float32Array(24), R: rng(13), to: new Trigger(0.45, 0.2) }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, n = 24, sh = H / n;
    // Sustained sound paints smooth slices; transients tear them apart and strobe.
    g.clear(0, 0, 0);
    if (s.to.test(a.onset * (0.4 + a.trans))) {
      for (let k = 0; k < 6; k++) { const i = Math.floor(s.R() * n); s.flash[i] = 1; s.off[i] = (s.R() - 0.5) * W * 0.5 * a.trans; }
    }
    for (let i = 0; i < n; i++) {
      const v = a.spectrumLevels[Math.floor(i / n * 240)];
      s.flash[i] *= Math.exp(-a.dt * 14);
      s.off[i] *= Math.exp(-a.dt * 6);
      const y = H - (i + 1) * sh;
      const w = W * (0.15 + 0.85 * v * v) * (0.6 + 0.4 * a.sus);
      const x = (W - w) / 2 + s.off[i] + Math.sin(a.t * 0.7 + i * 0.9) * W * 0.04 * a.sus;
      const c = p.rgb(i / n, 0.25 + 0.6 * v);
      g.color(c[0], c[1], c[2], 1);
      g.rect(x, y + 1, w, sh - 2);
      if (s.flash[i] > 0.02) { g.color(1, 1, 1, s.flash[i]); g.rect(0, y + 1, W, sh - 2); }
    }
    if (a.kick > 0.6) { g.color(1, 1, 1, (a.kick - 0.6) * 0.5); g.rect(0, 0, W, H); }
  },
};
