// The page's own settings, kept as opaque text inside the plug-in state. Anything unknown in a
// stored state is ignored and anything missing takes its default, so older and newer pages can
// read each other's states.

export const UI_DEFAULTS = Object.freeze({
  panel: false,
  panelTab: 'look',
  hud: true,
  uiHidden: false,
  help: false,
  lastPreset: '',
});

export function decodeState(text) {
  const s = { ...UI_DEFAULTS };
  if (typeof text !== 'string' || text === '') return s;
  let o;
  try { o = JSON.parse(text); } catch { return s; }
  if (!o || typeof o !== 'object') return s;
  for (const k of Object.keys(UI_DEFAULTS)) {
    if (k in o && typeof o[k] === typeof UI_DEFAULTS[k]) s[k] = o[k];
  }
  return s;
}

export function encodeState(s) {
  const o = { v: 1 };
  for (const k of Object.keys(UI_DEFAULTS)) o[k] = s[k];
  return JSON.stringify(o);
}

// Saves through `save(text)` a short while after the last change, and never echoes back a state
// that was just received from the host.
export class UiState {
  constructor(save, { delayMs = 400, setTimer = (f, ms) => setTimeout(f, ms), clearTimer = (t) => clearTimeout(t) } = {}) {
    this.values = { ...UI_DEFAULTS };
    this.save = save;
    this.delayMs = delayMs;
    this.setTimer = setTimer;
    this.clearTimer = clearTimer;
    this.timer = null;
    this.lastText = encodeState(this.values);
    this.listeners = new Set();
  }

  onChange(fn) { this.listeners.add(fn); }
  get(k) { return this.values[k]; }

  set(k, v) {
    if (!(k in UI_DEFAULTS) || typeof v !== typeof UI_DEFAULTS[k] || this.values[k] === v) return;
    this.values[k] = v;
    for (const fn of this.listeners) fn(k, v);
    this.schedule();
  }

  toggle(k) { this.set(k, !this.values[k]); }

  // State from the host (getInit or "vistrel-state"). Applying it does not trigger a save.
  restore(text) {
    const next = decodeState(text);
    this.lastText = encodeState(next);
    if (this.timer !== null) { this.clearTimer(this.timer); this.timer = null; }
    for (const k of Object.keys(UI_DEFAULTS)) {
      if (this.values[k] !== next[k]) {
        this.values[k] = next[k];
        for (const fn of this.listeners) fn(k, next[k]);
      }
    }
  }

  schedule() {
    if (this.timer !== null) this.clearTimer(this.timer);
    this.timer = this.setTimer(() => this.flush(), this.delayMs);
  }

  flush() {
    this.timer = null;
    const text = encodeState(this.values);
    if (text === this.lastText) return;
    this.lastText = text;
    this.save(text);
  }
}
