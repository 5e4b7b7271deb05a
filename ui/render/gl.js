// WebGL2 renderer. Shapes are batched into one vertex buffer and drawn in as few calls as
// possible; the picture lives in one of two offscreen textures so scenes can keep trails and
// feed the previous picture back into the next one, and reaches the screen through one output
// pass that applies the colour mode.

import { SHAPE_VS, SHAPE_FS, QUAD_VS, FEEDBACK_FS, PRESENT_FS, FIELD_PRELUDE } from './glsl.js';

const FLOATS = 9; // x y r g b a u v shape
const MAX_VERTS = 6 * 12000;

function compile(gl, vs, fs) {
  const p = gl.createProgram();
  for (const [type, src] of [[gl.VERTEX_SHADER, vs], [gl.FRAGMENT_SHADER, fs]]) {
    const s = gl.createShader(type);
    gl.shaderSource(s, src);
    gl.compileShader(s);
    if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error('shader: ' + gl.getShaderInfoLog(s));
    gl.attachShader(p, s);
  }
  gl.linkProgram(p);
  if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error('link: ' + gl.getProgramInfoLog(p));
  const u = {};
  const n = gl.getProgramParameter(p, gl.ACTIVE_UNIFORMS);
  for (let i = 0; i < n; i++) {
    const info = gl.getActiveUniform(p, i);
    const name = info.name.replace(/\[0\]$/, '');
    u[name] = gl.getUniformLocation(p, info.name);
  }
  return { p, u };
}

export class GLRenderer {
  static create(canvas, fields) {
    const gl = canvas.getContext('webgl2', { antialias: false, alpha: false, depth: false, stencil: false, premultipliedAlpha: true, preserveDrawingBuffer: true });
    if (!gl) return null;
    try { return new GLRenderer(canvas, gl, fields); } catch (e) { console.warn('WebGL2 renderer failed, using Canvas 2D', e); return null; }
  }

  constructor(canvas, gl, fields) {
    this.kind = 'webgl2';
    this.canvas = canvas;
    this.gl = gl;
    this.fieldSources = fields;
    this.fields = new Map();
    this.shape = compile(gl, SHAPE_VS, SHAPE_FS);
    this.feedbackProg = compile(gl, QUAD_VS, FEEDBACK_FS);
    this.presentProg = compile(gl, QUAD_VS, PRESENT_FS);
    this.data = new Float32Array(MAX_VERTS * FLOATS);
    this.n = 0;
    this.vao = gl.createVertexArray();
    this.vbo = gl.createBuffer();
    gl.bindVertexArray(this.vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.vbo);
    gl.bufferData(gl.ARRAY_BUFFER, this.data.byteLength, gl.DYNAMIC_DRAW);
    gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 2, gl.FLOAT, false, FLOATS * 4, 0);
    gl.enableVertexAttribArray(1); gl.vertexAttribPointer(1, 4, gl.FLOAT, false, FLOATS * 4, 8);
    gl.enableVertexAttribArray(2); gl.vertexAttribPointer(2, 3, gl.FLOAT, false, FLOATS * 4, 24);
    this.emptyVao = gl.createVertexArray();
    this.targets = [];
    this.cur = 0;
    this.w = 0; this.h = 0;
    this.r = 1; this.g = 1; this.b = 1; this.a = 1;
    this.mode = 'alpha';
    this.spectrumLevels = new Float32Array(32);
  }

  resize(w, h) {
    w = Math.max(1, w | 0); h = Math.max(1, h | 0);
    if (w === this.w && h === this.h) return;
    const gl = this.gl;
    this.canvas.width = w; this.canvas.height = h;
    for (const t of this.targets) { gl.deleteTexture(t.tex); gl.deleteFramebuffer(t.fb); }
    this.targets = [0, 1].map(() => {
      const tex = gl.createTexture();
      gl.bindTexture(gl.TEXTURE_2D, tex);
      gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, w, h, 0, gl.RGBA, gl.UNSIGNED_BYTE, null);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
      const fb = gl.createFramebuffer();
      gl.bindFramebuffer(gl.FRAMEBUFFER, fb);
      gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, tex, 0);
      gl.clearColor(0, 0, 0, 1);
      gl.clear(gl.COLOR_BUFFER_BIT);
      return { tex, fb };
    });
    this.w = w; this.h = h;
  }

  begin() {
    const gl = this.gl;
    gl.bindFramebuffer(gl.FRAMEBUFFER, this.targets[this.cur].fb);
    gl.viewport(0, 0, this.w, this.h);
    gl.enable(gl.BLEND);
    this.blend('alpha');
    this.n = 0;
  }

  color(r, g, b, a = 1) { this.r = r; this.g = g; this.b = b; this.a = a; }

  blend(mode) {
    if (mode !== this.mode) this.flush();
    this.mode = mode;
    const gl = this.gl;
    if (mode === 'add') gl.blendFunc(gl.ONE, gl.ONE); else gl.blendFunc(gl.ONE, gl.ONE_MINUS_SRC_ALPHA);
  }

  v(x, y, u, w, s) {
    if (this.n >= MAX_VERTS) this.flush();
    const d = this.data, i = this.n * FLOATS;
    d[i] = x; d[i + 1] = y; d[i + 2] = this.r; d[i + 3] = this.g; d[i + 4] = this.b; d[i + 5] = this.a;
    d[i + 6] = u; d[i + 7] = w; d[i + 8] = s;
    this.n++;
  }

  // Two triangles; keeps all six vertices in one batch.
  quad(x1, y1, x2, y2, x3, y3, x4, y4, s = 0, u0 = 0, v0 = 0, u1 = 0, v1 = 0) {
    if (this.n + 6 > MAX_VERTS) this.flush();
    this.v(x1, y1, u0, v0, s); this.v(x2, y2, u1, v0, s); this.v(x3, y3, u1, v1, s);
    this.v(x1, y1, u0, v0, s); this.v(x3, y3, u1, v1, s); this.v(x4, y4, u0, v1, s);
  }

  flush() {
    if (this.n === 0) return;
    const gl = this.gl;
    gl.useProgram(this.shape.p);
    gl.uniform2f(this.shape.u.uRes, this.w, this.h);
    gl.bindVertexArray(this.vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.vbo);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, this.data, 0, this.n * FLOATS);
    gl.drawArrays(gl.TRIANGLES, 0, this.n);
    this.n = 0;
  }

  clear(r = 0, g = 0, b = 0) {
    this.n = 0;
    const gl = this.gl;
    gl.clearColor(r, g, b, 1);
    gl.clear(gl.COLOR_BUFFER_BIT);
  }

  fade(a) { this.feedback(1, 0, 0, 0, 1 - a); }

  rect(x, y, w, h) { this.quad(x, y, x + w, y, x + w, y + h, x, y + h); }

  // Vertical gradient from the current colour (top) to the given one (bottom).
  rectGrad(x, y, w, h, r2, g2, b2, a2) {
    if (this.n + 6 > MAX_VERTS) this.flush();
    const r = this.r, g = this.g, b = this.b, a = this.a;
    this.v(x, y, 0, 0, 0); this.v(x + w, y, 0, 0, 0);
    this.color(r2, g2, b2, a2); this.v(x + w, y + h, 0, 0, 0);
    this.color(r, g, b, a); this.v(x, y, 0, 0, 0);
    this.color(r2, g2, b2, a2); this.v(x + w, y + h, 0, 0, 0); this.v(x, y + h, 0, 0, 0);
    this.color(r, g, b, a);
  }

  tri(x1, y1, x2, y2, x3, y3) {
    if (this.n + 3 > MAX_VERTS) this.flush();
    this.v(x1, y1, 0, 0, 0); this.v(x2, y2, 0, 0, 0); this.v(x3, y3, 0, 0, 0);
  }

  line(x1, y1, x2, y2, w = 2) {
    let dx = x2 - x1, dy = y2 - y1;
    const l = Math.hypot(dx, dy) || 1;
    const hw = w * 0.5 + 0.75;
    const nx = -dy / l * hw, ny = dx / l * hw;
    // Extend the ends by half the width so joined segments meet without gaps.
    dx = dx / l * w * 0.35; dy = dy / l * w * 0.35;
    this.quad(x1 - dx + nx, y1 - dy + ny, x2 + dx + nx, y2 + dy + ny, x2 + dx - nx, y2 + dy - ny, x1 - dx - nx, y1 - dy - ny, 3, 0, 1, 0, -1);
  }

  polyline(xs, ys, n, w = 2, closed = false) {
    for (let i = 1; i < n; i++) this.line(xs[i - 1], ys[i - 1], xs[i], ys[i], w);
    if (closed && n > 2) this.line(xs[n - 1], ys[n - 1], xs[0], ys[0], w);
  }

  // Filled star-shaped polygon around (cx, cy).
  fan(cx, cy, xs, ys, n) {
    for (let i = 0; i < n; i++) {
      const j = (i + 1) % n;
      this.tri(cx, cy, xs[i], ys[i], xs[j], ys[j]);
    }
  }

  disc(x, y, r) { this.quad(x - r, y - r, x + r, y - r, x + r, y + r, x - r, y + r, 2, -1, -1, 1, 1); }
  glow(x, y, r) { this.quad(x - r, y - r, x + r, y - r, x + r, y + r, x - r, y + r, 1, -1, -1, 1, 1); }
  ring(x, y, r, thick) {
    const ro = r + thick * 0.5, inner = Math.max(0, (r - thick * 0.5) / ro);
    // A small ring is one quad whose shader cuts out the hole; a large one would shade its whole
    // bounding square for a thin band, so it is built as a band of quads around the circle.
    if (ro < 24 || inner < 0.5) {
      this.quad(x - ro, y - ro, x + ro, y - ro, x + ro, y + ro, x - ro, y + ro, 10 + Math.min(0.999, inner), -1, -1, 1, 1);
      return;
    }
    this.band(x, y, r, thick);
  }

  // A ring as a strip of soft-edged quads; the chords stay within a tenth of a pixel of the circle.
  band(x, y, r, thick) {
    const ro = r + thick * 0.5 + 0.75, ri = Math.max(0, r - thick * 0.5 - 0.75);
    const n = Math.min(720, Math.max(24, Math.ceil(Math.PI / Math.acos(1 - 0.1 / ro))));
    const step = 2 * Math.PI / n;
    let c0 = 1, s0 = 0;
    for (let i = 1; i <= n; i++) {
      const c1 = Math.cos(i * step), s1 = Math.sin(i * step);
      this.quad(x + c0 * ri, y + s0 * ri, x + c1 * ri, y + s1 * ri, x + c1 * ro, y + s1 * ro, x + c0 * ro, y + s0 * ro, 3, 0, -1, 0, 1);
      c0 = c1; s0 = s1;
    }
  }

  // Redraws the previous picture zoomed by `zoom`, rotated by `rot` (radians) and shifted by
  // (dx, dy) pixels about the centre, multiplied by `keep`.
  feedback(zoom, rot, dx, dy, keep) {
    this.flush();
    const gl = this.gl;
    const src = this.targets[this.cur], dst = this.targets[1 - this.cur];
    gl.bindFramebuffer(gl.FRAMEBUFFER, dst.fb);
    gl.disable(gl.BLEND);
    const p = this.feedbackProg;
    gl.useProgram(p.p);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, src.tex);
    gl.uniform1i(p.u.uTex, 0);
    gl.uniform2f(p.u.uRes, this.w, this.h);
    gl.uniform4f(p.u.uT, zoom, rot, dx, -dy);
    gl.uniform1f(p.u.uKeep, keep);
    gl.bindVertexArray(this.emptyVao);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    gl.enable(gl.BLEND);
    this.cur = 1 - this.cur;
  }

  // A full-screen procedural field; returns false if the field does not exist here.
  field(name, a, b, c, pal, specSrc) {
    let f = this.fields.get(name);
    if (!f) {
      const src = this.fieldSources[name];
      if (!src) return false;
      f = compile(this.gl, QUAD_VS, FIELD_PRELUDE + src);
      this.fields.set(name, f);
    }
    this.flush();
    const gl = this.gl;
    gl.useProgram(f.p);
    gl.uniform2f(f.u.uRes, this.w, this.h);
    gl.uniform1f(f.u.uTime, a.t);
    gl.uniform4fv(f.u.uA, b);
    if (f.u.uB) gl.uniform4fv(f.u.uB, c);
    gl.uniform1f(f.u.uHueA, pal.hueA); gl.uniform1f(f.u.uHueB, pal.hueB); gl.uniform1f(f.u.uMode, pal.mode);
    if (f.u.uSpec) {
      for (let i = 0; i < 32; i++) {
        let m = 0;
        for (let j = i * 8; j < i * 8 + 8; j++) m = Math.max(m, specSrc[j]);
        this.spectrumLevels[i] = m;
      }
      gl.uniform1fv(f.u.uSpec, this.spectrumLevels);
    }
    gl.bindVertexArray(this.emptyVao);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
    return true;
  }

  end(mode, dim, zoom) {
    this.flush();
    const gl = this.gl;
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    gl.viewport(0, 0, this.w, this.h);
    gl.disable(gl.BLEND);
    const p = this.presentProg;
    gl.useProgram(p.p);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, this.targets[this.cur].tex);
    gl.uniform1i(p.u.uTex, 0);
    gl.uniform1f(p.u.uMode, mode);
    gl.uniform1f(p.u.uDim, dim);
    gl.uniform1f(p.u.uZoom, zoom);
    gl.uniform2f(p.u.uRes, this.w, this.h);
    gl.bindVertexArray(this.emptyVao);
    gl.drawArrays(gl.TRIANGLES, 0, 3);
  }

  // Waits for the picture to be finished (for measurements only).
  sync() { const px = new Uint8Array(4); this.gl.readPixels(0, 0, 1, 1, this.gl.RGBA, this.gl.UNSIGNED_BYTE, px); }
}
