// Particle scenes: bursts on kicks and hits, star flights, flow fields, rain and fireworks.
import { TAU, Particles, Trigger, rng, flow, clamp01 } from './util.js';

export const hitBurst = {
  name: 'Hit Burst', energy: 0.85,
  setup: () => ({ ps: new Particles(1400), rnd: rng(7), tk: new Trigger(0.45, 0.2), tm: new Trigger(0.5, 0.2), th: new Trigger(0.5, 0.2), flash: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, ps = s.ps, R = s.rnd;
    g.fade(0.22);
    const u = H / 720;
    if (s.tk.test(a.kick)) {
      s.flash = a.kick;
      const cx = W * (0.35 + 0.3 * R()), cy = H * (0.35 + 0.3 * R());
      for (let i = 0; i < 140; i++) {
        const ang = R() * TAU, sp = (150 + R() * 650) * u * (0.5 + a.kick);
        ps.spawn(cx, cy, Math.cos(ang) * sp, Math.sin(ang) * sp, 0.8 + R() * 0.9, (3 + R() * 6) * u, 0.1 * R());
      }
    }
    if (s.tm.test(a.hitM)) {
      const cx = W * R(), cy = H * R();
      for (let i = 0; i < 50; i++) {
        const ang = R() * TAU, sp = (80 + R() * 300) * u;
        ps.spawn(cx, cy, Math.cos(ang) * sp, Math.sin(ang) * sp, 0.5 + R() * 0.5, (2 + R() * 3) * u, 0.45 + 0.15 * R());
      }
    }
    if (s.th.test(a.hitH)) {
      for (let i = 0; i < 40; i++) ps.spawn(W * R(), H * R(), (R() - 0.5) * 60 * u, (R() - 0.5) * 60 * u, 0.25 + R() * 0.3, (1 + R() * 2) * u, 0.85 + 0.15 * R());
    }
    ps.step(a.dt, 2.2, 0);
    g.blend('add');
    s.flash *= Math.exp(-a.dt * 8);
    p.set(g, 0.05, 0.6, 0.3 * s.flash);
    g.glow(W / 2, H / 2, H * 0.9);
    for (let i = 0; i < ps.n; i++) {
      if (ps.life[i] <= 0) continue;
      const f = ps.life[i] / ps.max[i];
      p.set(g, ps.hue[i], 0.4 + 0.6 * f, f);
      g.glow(ps.x[i], ps.y[i], ps.size[i] * (2.5 + 3 * f));
    }
    g.blend('alpha');
  },
};

export const starfield = {
  name: 'Starfield', energy: 0.6,
  setup: () => {
    const n = 900, R = rng(11);
    const st = { n, x: new Float32Array(n), y: new Float32Array(n), z: new Float32Array(n), R, speed: 0 };
    for (let i = 0; i < n; i++) { st.x[i] = (R() - 0.5) * 2; st.y[i] = (R() - 0.5) * 2; st.z[i] = R(); }
    return st;
  },
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2 + Math.sin(a.t * 0.13) * W * 0.05, cy = H / 2 + Math.cos(a.t * 0.11) * H * 0.05;
    g.fade(0.5);
    const target = 0.08 + 0.5 * a.loud + 0.9 * a.kick * a.kick + 0.1 * a.bpm / 120 * (1 - a.idle);
    s.speed += (target - s.speed) * Math.min(1, a.dt * 5);
    const f = H * 0.6;
    g.blend('add');
    for (let i = 0; i < s.n; i++) {
      const z0 = s.z[i];
      let z = z0 - s.speed * a.dt;
      if (z <= 0.02) { z += 1; s.x[i] = (s.R() - 0.5) * 2; s.y[i] = (s.R() - 0.5) * 2; s.z[i] = z; continue; }
      s.z[i] = z;
      const x1 = cx + s.x[i] / z * f, y1 = cy + s.y[i] / z * f;
      const x0 = cx + s.x[i] / (z + s.speed * 0.05) * f, y0 = cy + s.y[i] / (z + s.speed * 0.05) * f;
      if (x1 < -50 || x1 > W + 50 || y1 < -50 || y1 > H + 50) continue;
      const b = Math.min(1, (1 - z) * 1.3);
      p.set(g, (i % 7) / 7 * 0.6 + a.bright * 0.4, b, b);
      g.line(x0, y0, x1, y1, Math.max(1.5, (1 - z) * 6 * H / 720));
    }
    p.set(g, 0.2, 0.8, 0.2 * a.bass);
    g.glow(cx, cy, H * 0.25);
    g.blend('alpha');
  },
};

export const flowField = {
  name: 'Flow Field', energy: 0.25,
  setup: () => {
    const n = 1500, R = rng(5), ps = { n, x: new Float32Array(n), y: new Float32Array(n), R, first: true };
    return ps;
  },
  draw(g, a, p, s) {
    const W = g.w, H = g.h;
    if (s.first) { for (let i = 0; i < s.n; i++) { s.x[i] = s.R() * W; s.y[i] = s.R() * H; } s.first = false; g.clear(); }
    g.fade(0.045);
    const speed = (25 + 140 * a.loud + 260 * a.onset) * H / 720;
    const sc = 2.6 / H, t = a.t * (0.15 + 0.2 * a.mid);
    g.blend('add');
    for (let i = 0; i < s.n; i++) {
      const x = s.x[i], y = s.y[i];
      const ang = flow(x * sc, y * sc, t) * 1.6 + a.bass * 0.8;
      const nx = x + Math.cos(ang) * speed * a.dt, ny = y + Math.sin(ang) * speed * a.dt;
      p.set(g, clamp01(a.bright * 0.7 + (i % 5) * 0.08), 0.55 + 0.45 * a.level, 0.5);
      g.line(x, y, nx, ny, Math.max(1, 1.6 * H / 720));
      if (nx < 0 || nx > W || ny < 0 || ny > H || s.R() < 0.002) { s.x[i] = s.R() * W; s.y[i] = s.R() * H; } else { s.x[i] = nx; s.y[i] = ny; }
    }
    g.blend('alpha');
  },
};

export const digitalRain = {
  name: 'Digital Rain', energy: 0.5,
  setup: () => {
    const cols = 56, R = rng(3);
    const st = { cols, y: new Float32Array(cols), v: new Float32Array(cols), R, th: new Trigger(0.4, 0.2) };
    for (let i = 0; i < cols; i++) { st.y[i] = R() * 1.5 - 0.5; st.v[i] = 0.2 + R() * 0.5; }
    return st;
  },
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cw = W / s.cols, gh = cw * 0.9;
    g.fade(0.085);
    if (s.th.test(a.hitH + a.hitM * 0.5)) for (let k = 0; k < 6; k++) { const i = Math.floor(s.R() * s.cols); s.y[i] = 0; s.v[i] = 0.4 + s.R() * 0.6; }
    const tempo = a.bpm / 120 * (0.4 + 0.8 * a.level + 0.3 * (1 - a.idle));
    for (let i = 0; i < s.cols; i++) {
      const prev = s.y[i];
      s.y[i] += s.v[i] * tempo * a.dt;
      if (s.y[i] > 1.3) { s.y[i] = -s.R() * 0.4; s.v[i] = 0.2 + s.R() * 0.5; }
      const band = a.spectrumLevels[Math.floor(i / s.cols * 220)];
      // Glyph cells: the head is bright, each new cell leaves a dimmer one behind.
      const cell = Math.floor(s.y[i] * H / gh), cellPrev = Math.floor(prev * H / gh);
      if (cell !== cellPrev) {
        const x = i * cw + cw * 0.15, y = cell * gh;
        const seed = (i * 31 + cell * 17) % 7;
        p.set(g, 0.3 + 0.5 * band, 0.45 + 0.4 * band, 1);
        for (let b = 0; b < 3; b++) if ((seed >> b) & 1) g.rect(x, y + b * gh * 0.3, cw * 0.7, gh * 0.18);
        if (seed & 4) g.rect(x + cw * 0.26, y, cw * 0.18, gh * 0.8);
      }
      const hy = s.y[i] * H;
      p.set(g, 0.9, 1, 0.9);
      g.rect(i * cw + cw * 0.15, hy - gh * 0.4, cw * 0.7, gh * 0.5);
    }
  },
};

export const fireworks = {
  name: 'Fireworks', energy: 0.75,
  setup: () => ({ rockets: new Particles(24), sparks: new Particles(2400), R: rng(21), tk: new Trigger(0.5, 0.2), lastNotes: 0 }),
  draw(g, a, p, s) {
    const W = g.w, H = g.h, R = s.R, u = H / 720;
    g.fade(0.16);
    const launch = (x, hue, power) => s.rockets.spawn(x, H, (R() - 0.5) * 60 * u, -(520 + 380 * power) * u, 0.85 + R() * 0.3, power, hue);
    // MIDI notes place the rocket by pitch and colour it by pitch class; kicks launch at random.
    if (a.noteOn > 0.34 && a.note >= 0 && s.lastNotes !== a.beats * 1000 + a.note) {
      s.lastNotes = a.beats * 1000 + a.note;
      launch(W * (0.1 + 0.8 * ((a.note - 24) / 72)), (a.note % 12) / 12, a.vel);
    }
    if (s.tk.test(a.kick)) launch(W * (0.15 + 0.7 * R()), R(), a.kick);
    const rk = s.rockets;
    rk.step(a.dt, 0.3, 500 * u);
    g.blend('add');
    for (let i = 0; i < rk.n; i++) {
      if (rk.life[i] <= 0) continue;
      if (rk.vy[i] > -40 * u || rk.life[i] < 0.05) {
        rk.life[i] = 0;
        const n = 90 + Math.floor(rk.size[i] * 120);
        for (let k = 0; k < n; k++) {
          const ang = k / n * TAU + R() * 0.1, sp = (140 + 90 * R()) * u * (0.6 + rk.size[i]);
          s.sparks.spawn(rk.x[i], rk.y[i], Math.cos(ang) * sp, Math.sin(ang) * sp, 1.2 + R() * 0.8, 2.2 * u, rk.hue[i] + (R() - 0.5) * 0.1);
        }
        continue;
      }
      p.set(g, rk.hue[i], 1, 0.9);
      g.glow(rk.x[i], rk.y[i], 8 * u);
    }
    const sp = s.sparks;
    sp.step(a.dt, 1.3, 90 * u);
    for (let i = 0; i < sp.n; i++) {
      if (sp.life[i] <= 0) continue;
      const f = sp.life[i] / sp.max[i];
      // Sparks twinkle as they die.
      const tw = f < 0.35 ? (((i * 7 + Math.floor(a.t * 20)) % 3) ? 0.3 : 1) : 1;
      p.set(g, ((sp.hue[i] % 1) + 1) % 1, 0.5 + 0.5 * f, f * tw);
      g.glow(sp.x[i], sp.y[i], sp.size[i] * (1 + 2 * f));
    }
    g.blend('alpha');
    g.color(0.02, 0.02, 0.03, 1);
    g.rect(0, H * 0.96, W, H * 0.04);
  },
};

export const spiralGalaxy = {
  name: 'Spiral Galaxy', energy: 0.3,
  setup: () => {
    const n = 1600, R = rng(9);
    const st = { n, r: new Float32Array(n), a: new Float32Array(n), band: new Uint8Array(n) };
    for (let i = 0; i < n; i++) { st.r[i] = Math.pow(R(), 0.7); st.a[i] = R() * 0.5 - 0.25 + (i % 4) / 4 * TAU; st.band[i] = Math.floor(st.r[i] * 220); }
    return st;
  },
  draw(g, a, p, s) {
    const W = g.w, H = g.h, cx = W / 2, cy = H / 2;
    g.fade(0.35);
    const arms = Math.max(2, Math.min(6, a.tsNum));
    // One full turn of an arm per bar.
    const rot = (a.bars + a.bar) * TAU / arms * 0.5;
    const size = H * 0.46 * (1 + 0.06 * a.bass);
    g.blend('add');
    p.set(g, 0.1, 0.9, 0.35 + 0.4 * a.kick);
    g.glow(cx, cy, H * 0.18);
    for (let i = 0; i < s.n; i++) {
      const r = s.r[i];
      const arm = (i % arms) / arms * TAU;
      const ang = arm + (s.a[i] % (TAU / 4)) * 0.5 + r * 4.2 + rot * (1 - r * 0.5);
      const x = cx + Math.cos(ang) * r * size * 1.35, y = cy + Math.sin(ang) * r * size * 0.8;
      const v = a.spectrumLevels[s.band[i]];
      p.set(g, r, 0.35 + 0.65 * v, 0.8);
      g.glow(x, y, H * (0.004 + 0.012 * v));
    }
    g.blend('alpha');
  },
};
