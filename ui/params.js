// The thirteen plug-in parameters as the page sees them: ranges, defaults, choices and the same
// value texts the host shows, so a value reads identically in the panel and in the DAW.

export const COLOUR_MODES = ['Colour', 'Light B&W', 'Body B&W', 'Black & White', 'Spectrum'];
export const BEAT_SOURCES = ['Host', 'Auto', 'Hybrid'];

const intText = (unit) => (v) => String(roundHalfEven(v)) + unit;
const fixedText = (d, unit) => (v) => v.toFixed(d) + unit;

function roundHalfEven(v) {
  const f = Math.floor(v), r = v - f;
  if (r > 0.5) return f + 1;
  if (r < 0.5) return f;
  return f % 2 === 0 ? f : f + 1;
}

export const PARAMS = [
  { id: 'scene', name: 'Scene', kind: 'int', min: 1, max: 34, step: 1, def: 1, text: (v) => String(Math.round(v)) },
  { id: 'hue', name: 'Hue', kind: 'float', min: 0, max: 360, step: 1, def: 0, text: intText(' °') },
  { id: 'hue2', name: 'Hue 2', kind: 'float', min: 0, max: 360, step: 1, def: 0, text: intText(' °') },
  { id: 'react', name: 'React', kind: 'float', min: 0, max: 100, step: 1, def: 85, text: intText(' %') },
  { id: 'colour', name: 'Colour Mode', kind: 'choice', choices: COLOUR_MODES, min: 0, max: 4, step: 1, def: 0 },
  { id: 'autoPilot', name: 'Auto Pilot', kind: 'bool', min: 0, max: 1, step: 1, def: 0 },
  { id: 'sensitivity', name: 'Sensitivity', kind: 'float', min: -24, max: 24, step: 0.1, def: 0, text: fixedText(1, ' dB') },
  { id: 'attack', name: 'React Attack', kind: 'float', min: 1, max: 200, step: 0, def: 10, skew: 0.25505447387695312, text: intText(' ms') },
  { id: 'release', name: 'React Release', kind: 'float', min: 50, max: 2000, step: 0, def: 150, skew: 0.34795001149177551, text: intText(' ms') },
  { id: 'wBass', name: 'Bass Weight', kind: 'float', min: 0, max: 2, step: 0.01, def: 1, text: fixedText(2, '') },
  { id: 'wMid', name: 'Mid Weight', kind: 'float', min: 0, max: 2, step: 0.01, def: 1, text: fixedText(2, '') },
  { id: 'wHigh', name: 'High Weight', kind: 'float', min: 0, max: 2, step: 0.01, def: 1, text: fixedText(2, '') },
  { id: 'beatSource', name: 'Beat Source', kind: 'choice', choices: BEAT_SOURCES, min: 0, max: 2, step: 1, def: 2 },
];

export const PARAM_BY_ID = Object.fromEntries(PARAMS.map((p) => [p.id, p]));

export function clampParam(p, v) {
  v = Number(v);
  if (!Number.isFinite(v)) v = p.def;
  v = Math.min(p.max, Math.max(p.min, v));
  if (p.step > 0) v = p.min + Math.round((v - p.min) / p.step) * p.step;
  if (p.step > 0 && p.step < 1) v = Number(v.toFixed(p.step < 0.05 ? 2 : 1));
  return v;
}

export function valueText(p, v) {
  if (p.kind === 'choice') return p.choices[Math.round(v)] ?? '';
  if (p.kind === 'bool') return v >= 0.5 ? 'On' : 'Off';
  return p.text(v);
}

// Slider position 0..1 <-> value, following the host's skew so the slider's centre matches.
export function toNorm(p, v) {
  const x = (v - p.min) / (p.max - p.min);
  const c = Math.min(1, Math.max(0, x));
  return p.skew ? Math.pow(c, p.skew) : c;
}
export function fromNorm(p, n) {
  n = Math.min(1, Math.max(0, n));
  const x = p.skew ? Math.pow(n, 1 / p.skew) : n;
  return clampParam(p, p.min + x * (p.max - p.min));
}

export function defaults() {
  const o = {};
  for (const p of PARAMS) o[p.id] = p.def;
  return o;
}

// The page's copy of the parameters. Local edits win over incoming snapshots for a short while,
// because a snapshot sent before the host saw our edit would otherwise snap a control back.
export class ParamStore {
  constructor(now = () => Date.now()) {
    this.values = defaults();
    this.now = now;
    this.pending = new Map();
    this.listeners = new Set();
  }

  onChange(fn) { this.listeners.add(fn); return () => this.listeners.delete(fn); }

  get(id) { return this.values[id]; }

  setLocal(id, v) {
    const p = PARAM_BY_ID[id];
    if (!p) return undefined;
    v = clampParam(p, v);
    this.pending.set(id, { v, until: this.now() + 400 });
    if (this.values[id] !== v) { this.values[id] = v; this.emit(id, 'local'); }
    return v;
  }

  // Applies a host snapshot (object or JSON text). Returns the IDs that changed.
  applySnapshot(snap) {
    if (typeof snap === 'string') {
      try { snap = JSON.parse(snap); } catch { return []; }
    }
    if (!snap || typeof snap !== 'object') return [];
    const changed = [];
    const t = this.now();
    for (const p of PARAMS) {
      if (!(p.id in snap)) continue;
      const v = clampParam(p, snap[p.id]);
      const pend = this.pending.get(p.id);
      if (pend) {
        if (t < pend.until && Math.abs(pend.v - v) > 1e-9) continue;
        if (t >= pend.until || Math.abs(pend.v - v) <= 1e-9) this.pending.delete(p.id);
      }
      if (this.values[p.id] !== v) { this.values[p.id] = v; changed.push(p.id); }
    }
    for (const id of changed) this.emit(id, 'host');
    return changed;
  }

  emit(id, origin) { for (const fn of this.listeners) fn(id, this.values[id], origin); }
}
