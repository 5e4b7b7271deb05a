// Draws the current scene once per display refresh from the newest frame, and runs scene
// transitions and the idle calm-down.

import { GLRenderer } from './render/gl.js';
import { Canvas2DRenderer } from './render/canvas2d.js';
import { Frame } from './frame.js';
import { Audio } from './features.js';
import { Palette } from './palette.js';

export class Engine {
  constructor(canvas, scenes, fieldShaders, { forceCanvas = false } = {}) {
    this.canvas = canvas;
    this.scenes = scenes;
    this.g = (!forceCanvas && GLRenderer.create(canvas, fieldShaders)) || new Canvas2DRenderer(canvas);
    this.frame = new Frame();
    this.audio = new Audio();
    this.palette = new Palette();
    this.states = new Map();
    this.shown = 1;       // scene on screen
    this.target = 1;      // scene being faded to
    this.trans = 1;       // transition progress 0..1 (1 = done)
    this.transLen = 0.6;
    this.switched = true;
    this.fresh = true;
    this.react = 85;
    this.last = 0;
    this.frames = 0;
    this.cost = new Float64Array(120); // recent render times in ms, for measurements
    this.measureSync = false;
    this.running = false;
    this.pixelBudget = 1920 * 1080;
    // Resolution follows what the machine manages: below 30 pictures a second the backing store
    // shrinks (the browser scales it up), and grows back once there is room again.
    this.scale = 1;
    this.fixedScale = 0;
    this.avgDt = 1 / 60;
    this.slowFor = 0;
    this.fastFor = 0;
    this.onRendered = null;
  }

  configure(values) {
    this.react = values.react;
    this.palette.configure(values.hue, values.hue2, values.colour);
  }

  // Changes scene; a `slow` change (auto pilot) takes longer than one the user asked for.
  setScene(n, slow = false) {
    n = Math.max(1, Math.min(this.scenes.length, Math.round(n)));
    if (n === this.target) return;
    this.target = n;
    this.transLen = slow ? 1.4 : 0.5;
    // A change while a transition is still fading out keeps its progress; otherwise start one.
    if (this.trans >= 0.5) { this.trans = 0; this.switched = false; }
  }

  // Jumps without a transition (first state from the host).
  showScene(n) {
    n = Math.max(1, Math.min(this.scenes.length, Math.round(n)));
    this.target = this.shown = n; this.trans = 1; this.switched = true;
    this.fresh = true;
  }

  state(n) {
    let s = this.states.get(n);
    if (!s) { s = this.scenes[n - 1].setup(); this.states.set(n, s); }
    return s;
  }

  resize() {
    // Smooth full-screen fields look the same from fewer pixels: such scenes ask for less.
    const own = this.scenes[this.shown - 1].res || 1;
    const dpr = Math.min(window.devicePixelRatio || 1, 2) * (this.fixedScale || this.scale) * own;
    let w = Math.max(1, Math.round(this.canvas.clientWidth * dpr)), h = Math.max(1, Math.round(this.canvas.clientHeight * dpr));
    const over = (w * h) / this.pixelBudget;
    if (over > 1) { const k = Math.sqrt(over); w = Math.round(w / k); h = Math.round(h / k); }
    this.g.resize(w, h);
  }

  start() {
    if (this.running) return;
    this.running = true;
    const loop = (t) => {
      if (!this.running) return;
      this.render(t / 1000);
      requestAnimationFrame(loop);
    };
    requestAnimationFrame(loop);
  }

  stop() { this.running = false; }

  adapt(dt) {
    if (this.fixedScale) return;
    this.avgDt += (dt - this.avgDt) * 0.1;
    this.slowFor = this.avgDt > 1.1 / 30 ? this.slowFor + dt : 0;
    this.fastFor = this.avgDt < 1 / 50 ? this.fastFor + dt : 0;
    if (this.slowFor > 0.5 && this.scale > 0.36) {
      this.scale = Math.max(0.35, this.scale * 0.8);
      this.slowFor = 0; this.avgDt = 1 / 40;
    } else if (this.fastFor > 4 && this.scale < 1) {
      this.scale = Math.min(1, this.scale * 1.15);
      this.fastFor = 0;
    }
  }

  render(now) {
    const t0 = performance.now();
    const dt = this.last ? Math.min(0.1, Math.max(0.001, now - this.last)) : 1 / 60;
    this.last = now;
    this.adapt(dt);
    this.resize();
    const a = this.audio;
    a.update(this.frame, this.react, now, dt);
    if (this.trans < 1) {
      this.trans = Math.min(1, this.trans + dt / this.transLen);
      if (!this.switched && this.trans >= 0.5) { this.shown = this.target; this.switched = true; this.fresh = true; }
    }
    const g = this.g;
    g.begin();
    if (this.fresh) { g.clear(); this.fresh = false; }
    const sc = this.scenes[this.shown - 1];
    sc.draw(g, a, this.palette, this.state(this.shown));
    // Transition: dip through dark with a slight push in.
    const dip = this.trans < 1 ? Math.sin(this.trans * Math.PI) : 0;
    const d = (1 - 0.92 * dip) * (1 - 0.35 * a.idle);
    g.end(this.palette.mode, d, 1 + 0.05 * dip);
    if (this.measureSync) g.sync();
    this.cost[this.frames % this.cost.length] = performance.now() - t0;
    this.frames++;
    if (this.onRendered) this.onRendered(a);
  }
}
