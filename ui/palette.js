// The palette every scene paints with. `hue` and `hue2` are its two anchors; the colour mode
// decides how a palette position t (0..1) and a brightness v (0..1) become a colour. The
// black-and-white modes paint in grey here and are finished by the renderer's output stage
// (inverted for "Light B&W", thresholded for "Black & White").

export const MODE = { COLOUR: 0, LIGHT_BW: 1, BODY_BW: 2, BW: 3, SPECTRUM: 4 };

export function hsv(h, s, v, out) {
  h = ((h % 360) + 360) % 360 / 60;
  const i = Math.floor(h), f = h - i;
  const p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  let r, g, b;
  switch (i) {
    case 0: r = v; g = t; b = p; break;
    case 1: r = q; g = v; b = p; break;
    case 2: r = p; g = v; b = t; break;
    case 3: r = p; g = q; b = v; break;
    case 4: r = t; g = p; b = v; break;
    default: r = v; g = p; b = q;
  }
  out[0] = r; out[1] = g; out[2] = b;
  return out;
}

export class Palette {
  constructor() {
    this.hueA = 0; this.hueB = 0; this.mode = 0;
    this.c = new Float32Array(3);
  }

  configure(hue, hue2, mode) {
    this.hueA = hue; this.hueB = hue2; this.mode = mode | 0;
  }

  // Hue at palette position t: along the shorter arc from hue to hue2. When both anchors are
  // equal the palette still breathes a little around the one hue, so it never looks flat.
  hueAt(t) {
    if (this.mode === MODE.SPECTRUM) return (t * 300) % 360;
    let d = this.hueB - this.hueA;
    if (d > 180) d -= 360; else if (d < -180) d += 360;
    if (Math.abs(d) < 8) d = 28;
    return this.hueA + d * t;
  }

  // Writes the colour into this.c and returns it.
  rgb(t, v) {
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    if (this.mode === MODE.COLOUR || this.mode === MODE.SPECTRUM) {
      // Bright values run towards white, like light overexposing a sensor.
      const s = 0.95 - 2.5 * Math.max(0, v - 0.88);
      hsv(this.hueAt(t), Math.max(0.25, s), v, this.c);
    } else {
      const g = this.mode === MODE.BODY_BW ? v * (0.8 + 0.2 * t) : v;
      this.c[0] = this.c[1] = this.c[2] = g;
    }
    return this.c;
  }

  // Sets the renderer's colour from a palette position.
  set(g, t, v, a = 1) {
    const c = this.rgb(t, v);
    g.color(c[0], c[1], c[2], a);
  }
}
