// Canvas 2D renderer with the same drawing calls as the WebGL2 one, for views without WebGL2.
// Procedural fields do not exist here; scenes draw their own simpler version instead. The
// colour mode's output stage is a CSS filter on the visible canvas.

const FILTERS = ['none', 'grayscale(1) invert(0.92)', 'grayscale(1) contrast(1.15)', 'grayscale(1) contrast(12) brightness(0.9)', 'none'];

export class Canvas2DRenderer {
  constructor(canvas) {
    this.kind = 'canvas2d';
    this.canvas = canvas;
    this.out = canvas.getContext('2d', { alpha: false });
    this.buf = [document.createElement('canvas'), document.createElement('canvas')];
    this.ctxs = this.buf.map((c) => c.getContext('2d', { alpha: false }));
    this.cur = 0;
    this.ctx = this.ctxs[0];
    this.w = 0; this.h = 0;
    this.style = '';
    this.r = 1; this.g = 1; this.b = 1; this.a = 1;
    this.filter = '';
  }

  resize(w, h) {
    w = Math.max(1, w | 0); h = Math.max(1, h | 0);
    if (w === this.w && h === this.h) return;
    this.canvas.width = w; this.canvas.height = h;
    for (let i = 0; i < 2; i++) {
      this.buf[i].width = w; this.buf[i].height = h;
      this.ctxs[i].fillStyle = '#000'; this.ctxs[i].fillRect(0, 0, w, h);
    }
    this.w = w; this.h = h;
  }

  begin() { this.ctx = this.ctxs[this.cur]; this.blend('alpha'); this.style = ''; this.apply(); }

  color(r, g, b, a = 1) { this.r = r; this.g = g; this.b = b; this.a = a; this.style = ''; }

  apply() {
    if (this.style) return;
    this.style = `rgba(${(this.r * 255) | 0},${(this.g * 255) | 0},${(this.b * 255) | 0},${this.a.toFixed(3)})`;
    this.ctx.fillStyle = this.style;
    this.ctx.strokeStyle = this.style;
  }

  blend(mode) { this.ctx.globalCompositeOperation = mode === 'add' ? 'lighter' : 'source-over'; }

  clear(r = 0, g = 0, b = 0) {
    const c = this.ctx, op = c.globalCompositeOperation;
    c.globalCompositeOperation = 'source-over';
    c.fillStyle = `rgb(${(r * 255) | 0},${(g * 255) | 0},${(b * 255) | 0})`;
    c.fillRect(0, 0, this.w, this.h);
    c.globalCompositeOperation = op;
    this.style = ''; this.apply();
  }

  fade(a) {
    const c = this.ctx, op = c.globalCompositeOperation;
    c.globalCompositeOperation = 'source-over';
    c.fillStyle = `rgba(0,0,0,${a})`;
    c.fillRect(0, 0, this.w, this.h);
    c.globalCompositeOperation = op;
    this.style = ''; this.apply();
  }

  rect(x, y, w, h) { this.apply(); this.ctx.fillRect(x, y, w, h); }

  rectGrad(x, y, w, h, r2, g2, b2, a2) {
    const gr = this.ctx.createLinearGradient(0, y, 0, y + h);
    this.apply();
    gr.addColorStop(0, this.style);
    gr.addColorStop(1, `rgba(${(r2 * 255) | 0},${(g2 * 255) | 0},${(b2 * 255) | 0},${a2})`);
    this.ctx.fillStyle = gr;
    this.ctx.fillRect(x, y, w, h);
    this.style = '';
  }

  tri(x1, y1, x2, y2, x3, y3) {
    this.apply();
    const c = this.ctx;
    c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.lineTo(x3, y3); c.closePath(); c.fill();
  }

  quad(x1, y1, x2, y2, x3, y3, x4, y4) {
    this.apply();
    const c = this.ctx;
    c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.lineTo(x3, y3); c.lineTo(x4, y4); c.closePath(); c.fill();
  }

  line(x1, y1, x2, y2, w = 2) {
    this.apply();
    const c = this.ctx;
    c.lineWidth = w; c.lineCap = 'round';
    c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.stroke();
  }

  polyline(xs, ys, n, w = 2, closed = false) {
    if (n < 2) return;
    this.apply();
    const c = this.ctx;
    c.lineWidth = w; c.lineJoin = 'round'; c.lineCap = 'round';
    c.beginPath(); c.moveTo(xs[0], ys[0]);
    for (let i = 1; i < n; i++) c.lineTo(xs[i], ys[i]);
    if (closed) c.closePath();
    c.stroke();
  }

  fan(cx, cy, xs, ys, n) {
    if (n < 3) return;
    this.apply();
    const c = this.ctx;
    c.beginPath(); c.moveTo(xs[0], ys[0]);
    for (let i = 1; i < n; i++) c.lineTo(xs[i], ys[i]);
    c.closePath(); c.fill();
  }

  disc(x, y, r) { this.apply(); const c = this.ctx; c.beginPath(); c.arc(x, y, Math.max(0, r), 0, 6.2832); c.fill(); }

  // Soft blobs as two stacked discs: much cheaper than a gradient per blob.
  glow(x, y, r) {
    const a = this.a;
    this.a = a * 0.25; this.style = ''; this.disc(x, y, r * 0.75);
    this.a = a * 0.6; this.style = ''; this.disc(x, y, r * 0.3);
    this.a = a; this.style = '';
  }

  ring(x, y, r, thick) {
    this.apply();
    const c = this.ctx;
    c.lineWidth = thick;
    c.beginPath(); c.arc(x, y, Math.max(0, r), 0, 6.2832); c.stroke();
  }

  feedback(zoom, rot, dx, dy, keep) {
    const src = this.buf[this.cur];
    this.cur = 1 - this.cur;
    const c = this.ctxs[this.cur];
    const op = this.ctx.globalCompositeOperation;
    c.globalCompositeOperation = 'source-over';
    c.fillStyle = '#000';
    c.fillRect(0, 0, this.w, this.h);
    c.save();
    c.translate(this.w / 2 + dx, this.h / 2 + dy);
    c.rotate(rot);
    c.scale(zoom, zoom);
    c.globalAlpha = keep;
    c.drawImage(src, -this.w / 2, -this.h / 2);
    c.restore();
    this.ctx = c;
    c.globalCompositeOperation = op;
    this.style = ''; this.apply();
  }

  field() { return false; }

  end(mode, dim, zoom) {
    const f = FILTERS[mode] || 'none';
    if (f !== this.filter) { this.canvas.style.filter = f; this.filter = f; }
    const o = this.out;
    o.globalAlpha = 1;
    o.fillStyle = '#000';
    o.fillRect(0, 0, this.w, this.h);
    o.globalAlpha = Math.max(0, Math.min(1, dim));
    const w = this.w * zoom, h = this.h * zoom;
    o.drawImage(this.buf[this.cur], (this.w - w) / 2, (this.h - h) / 2, w, h);
    o.globalAlpha = 1;
  }

  sync() { this.out.getImageData(0, 0, 1, 1); }
}
