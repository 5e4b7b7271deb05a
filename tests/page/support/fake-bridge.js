// Stands in for the native bridge in browser tests: answers the page's calls like the plug-in
// does, keeps the UI state across reloads (as the processor would), streams generated frames
// and records everything the page sends, for the tests to read from window.__fake.

import { synthFrame } from '/__test/synth.js';

const PARAM_DEFAULTS = { scene: 1, hue: 0, hue2: 0, react: 85, colour: 0, autoPilot: 0, sensitivity: 0, attack: 10, release: 150, wBass: 1, wMid: 1, wHigh: 1, beatSource: 2 };
const store = window.sessionStorage;
const params = JSON.parse(store.getItem('fake.params') || 'null') || { ...PARAM_DEFAULTS };
let blob = store.getItem('fake.blob') || '';
const listeners = new Map();
let nextToken = 1;
const log = [];
const gestures = [];
let paramsDirty = false, stateDirty = false;
let clock = null; // null: real time; a number: frames are stamped with this time
let silent = false;
let standalone = new URLSearchParams(location.search).has('standalone');

function emit(id, payload) {
  for (const [, l] of listeners) if (l.id === id) l.fn(payload);
}

function snapshot() { return JSON.stringify(params); }

function persist() { store.setItem('fake.params', JSON.stringify(params)); store.setItem('fake.blob', blob); }

const native = {
  getInit: () => JSON.stringify({ params, state: blob === '' ? null : blob }),
  setParam: (id, v) => { setParam(String(id), Number(v)); },
  saveState: (s) => { blob = String(s); persist(); },
  uiReady: () => {},
  hostFocus: () => {},
  beginGesture: (id) => { if (!gestures.includes(id)) { gestures.push(id); log.push(['gesture-begin', id]); } },
  endGesture: (id) => { const i = gestures.indexOf(id); if (i >= 0) { gestures.splice(i, 1); log.push(['gesture-end', id]); } },
  windowCanDrag: () => standalone,
  listUserPresets: () => JSON.stringify(Object.keys(JSON.parse(store.getItem('fake.presets') || '{}'))),
  savePresetFile: (name, text) => { const p = JSON.parse(store.getItem('fake.presets') || '{}'); p[name] = text; store.setItem('fake.presets', JSON.stringify(p)); },
  loadUserPreset: (name) => JSON.parse(store.getItem('fake.presets') || '{}')[name] || '',
  deletePresetFile: (name) => { const p = JSON.parse(store.getItem('fake.presets') || '{}'); const had = name in p; delete p[name]; store.setItem('fake.presets', JSON.stringify(p)); return had; },
};

function setParam(id, v) {
  if (!(id in params)) return;
  params[id] = v;
  log.push(['set', id, v, gestures.includes(id)]);
  paramsDirty = true;
  persist();
}

export function addEventListener(id, fn) { const t = nextToken++; listeners.set(t, { id, fn }); return t; }
export function removeEventListener(t) { listeners.delete(t); }
export function emitEvent(id, payload) {
  log.push(['event', id, payload]);
  if (id === 'setParam' && payload && typeof payload === 'object') setParam(String(payload.id), Number(payload.v));
  if (id === 'uiHello') { paramsDirty = true; stateDirty = true; }
}
export function getNativeFunction(name) {
  return (...args) => {
    log.push(['call', name, args]);
    const f = native[name];
    return f ? Promise.resolve(f(...args)) : Promise.reject(new Error('no such function'));
  };
}
export function onConnectionChange() { return 0; }
export function pageAddress() { return location.href; }

// The plug-in's 8 ms tick: frame, then parameters, then state.
setInterval(() => {
  const t = clock === null ? performance.now() / 1000 : clock;
  emit('vistrel-frame', synthFrame(t, { silent }));
  if (paramsDirty) { paramsDirty = false; emit('vistrel-params', snapshot()); }
  if (stateDirty) { stateDirty = false; emit('vistrel-state', blob); }
}, 8);

window.__fake = {
  log, params,
  get blob() { return blob; },
  hostSet(id, v) { params[id] = v; paramsDirty = true; persist(); },
  key(code) { emit('vistrel-key', { code }); },
  setClock(t) { clock = t; },
  setSilent(s) { silent = s; },
  reset() { store.clear(); },
};
