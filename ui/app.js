// The page: wires the bridge to the engine, the controls, the UI state and the shortcuts.
// The bridge is passed in, so tests and the scene renderer can run the page on a stand-in.

import { Engine } from './engine.js';
import { parseFrame } from './frame.js';
import { PARAMS, PARAM_BY_ID, ParamStore, COLOUR_MODES, BEAT_SOURCES, valueText } from './params.js';
import { UiState } from './state.js';
import { KeyRouter, SHORTCUTS, lookupKey } from './keys.js';
import { AutoPilot } from './autopilot.js';
import { SCENES, FIELD_SHADERS } from './scenes/index.js';
import { makeSlider, makeChoice } from './controls/slider.js';
import { SliderGesture } from './controls/gesture.js';

const PROJECT_URL = 'https://quorvane.com/plugins/vistrel';

function parseJson(x) {
  if (typeof x !== 'string') return x;
  try { return JSON.parse(x); } catch { return undefined; }
}

export class App {
  constructor(bridge, root = document, options = {}) {
    this.bridge = bridge;
    this.doc = root;
    this.$ = (sel) => root.querySelector(sel);
    this.params = new ParamStore();
    this.ui = new UiState((text) => this.call('saveState', text));
    this.engine = new Engine(this.$('#stage'), SCENES, FIELD_SHADERS, options);
    this.autopilot = new AutoPilot(SCENES.map((s) => s.energy));
    this.keys = new KeyRouter(this.actions(), { maxScene: SCENES.length });
    this.controls = new Map();
    this.recorder = null;
    this.standalone = false;
    this.lastFrameAt = 0;
    this.framesSeen = 0;
    this.host = {
      begin: (id) => this.call('beginGesture', id),
      set: (id, v) => this.setParam(id, v),
      end: (id) => this.call('endGesture', id),
    };
  }

  // Calls a native function; failures (not answered yet, connection gone) resolve undefined.
  call(name, ...args) {
    try {
      return Promise.resolve(this.bridge.getNativeFunction(name)(...args)).catch(() => undefined);
    } catch {
      return Promise.resolve(undefined);
    }
  }

  setParam(id, v) {
    const val = this.params.setLocal(id, v);
    if (val !== undefined) this.bridge.emitEvent('setParam', { id, v: val });
  }

  // A change made by the page outside a drag (keys, auto pilot, presets): one complete edit.
  editParam(id, v) {
    new SliderGesture(id, this.host).tap(v);
  }

  async start() {
    this.buildPanel();
    this.buildHelp();
    this.bindUi();
    this.params.onChange((id, v, origin) => this.paramChanged(id, v, origin));
    this.ui.onChange((k, v) => this.uiChanged(k, v));
    const b = this.bridge;
    b.addEventListener('vistrel-frame', (text) => this.onFrame(text));
    b.addEventListener('vistrel-params', (text) => this.params.applySnapshot(text));
    b.addEventListener('vistrel-state', (text) => this.ui.restore(typeof text === 'string' ? text : ''));
    b.addEventListener('vistrel-key', (k) => { const o = parseJson(k); if (o && o.code) this.keys.handle(String(o.code), undefined); });
    b.onConnectionChange?.((up) => { this.doc.body.classList.toggle('offline', !up); if (up) this.init(); });
    for (const p of PARAMS) this.paramChanged(p.id, this.params.get(p.id), 'init');
    for (const k of Object.keys(this.ui.values)) this.uiChanged(k, this.ui.get(k));
    this.engine.start();
    await this.init();
    this.call('windowCanDrag').then((yes) => { if (yes === true) this.enableTitleBar(); });
  }

  async init() {
    const init = parseJson(await this.call('getInit'));
    if (init && typeof init === 'object') {
      if (init.params) this.params.applySnapshot(init.params);
      this.engine.showScene(this.params.get('scene'));
      this.ui.restore(typeof init.state === 'string' ? init.state : '');
    }
    this.bridge.emitEvent('uiHello', true);
  }

  onFrame(text) {
    if (!parseFrame(text, this.engine.frame)) return;
    const now = performance.now() / 1000;
    const dt = this.lastFrameAt ? Math.min(0.25, Math.max(0.001, now - this.lastFrameAt)) : 1 / 60;
    this.lastFrameAt = now;
    this.framesSeen++;
    const f = this.engine.frame;
    this.engine.audio.takeFrame(f, now);
    this.autopilot.observe(f, dt);
    const next = this.autopilot.step(f.barPhase, this.params.get('scene'), this.params.get('autoPilot') >= 0.5);
    if (next) { this.engine.setScene(next, true); this.editParam('scene', next); }
  }

  paramChanged(id, v, origin) {
    const c = this.controls.get(id);
    if (c) c.update(v);
    const vals = this.params.values;
    if (id === 'scene') {
      if (origin === 'init') this.engine.showScene(v); else this.engine.setScene(v);
      this.doc.querySelectorAll('.scene-btn').forEach((b) => b.classList.toggle('on', Number(b.dataset.scene) === v));
      this.showSceneName(v);
    }
    if (id === 'hue' || id === 'hue2' || id === 'colour' || id === 'react') this.engine.configure(vals);
    if (id === 'autoPilot') this.doc.body.classList.toggle('autopilot', v >= 0.5);
  }

  uiChanged(k, v) {
    const body = this.doc.body;
    if (k === 'panel') body.classList.toggle('panel-open', v);
    if (k === 'hud') body.classList.toggle('hud-off', !v);
    if (k === 'uiHidden') body.classList.toggle('ui-hidden', v);
    if (k === 'help') body.classList.toggle('help-open', v);
    if (k === 'panelTab') {
      this.doc.querySelectorAll('[data-tab]').forEach((e) => e.classList.toggle('on', e.dataset.tab === v));
      if (v === 'presets') this.refreshPresets();
    }
    if (k === 'lastPreset') { const i = this.$('#preset-name'); if (i && !i.matches(':focus')) i.value = v; }
  }

  actions() {
    const scene = (d) => {
      const n = SCENES.length;
      this.editParam('scene', ((this.params.get('scene') - 1 + d + n) % n) + 1);
    };
    return {
      nextScene: () => scene(1),
      prevScene: () => scene(-1),
      pickScene: (n) => this.editParam('scene', n),
      reactUp: () => this.editParam('react', this.params.get('react') + 5),
      reactDown: () => this.editParam('react', this.params.get('react') - 5),
      toggleAutoPilot: () => this.editParam('autoPilot', this.params.get('autoPilot') >= 0.5 ? 0 : 1),
      escape: () => { this.ui.set('help', false); this.ui.set('panel', false); },
      hideUi: () => { this.ui.toggle('uiHidden'); if (this.ui.get('uiHidden')) this.toast('Controls hidden: press H to show them'); },
      fullscreen: () => this.toggleFullscreen(),
      panel: () => this.ui.toggle('panel'),
      record: () => (this.recorder ? this.recorder.toggle() : this.toast('Recording is not available in this build')),
      still: () => (this.recorder ? this.recorder.still() : this.toast('Still images are not available in this build')),
      help: () => this.ui.toggle('help'),
    };
  }

  toggleFullscreen() {
    if (this.standalone) { this.call('windowToggleMax'); return; }
    const d = this.doc, el = d.documentElement;
    const active = d.fullscreenElement || d.webkitFullscreenElement;
    if (active) (d.exitFullscreen || d.webkitExitFullscreen)?.call(d);
    else (el.requestFullscreen || el.webkitRequestFullscreen)?.call(el);
  }

  toast(text) {
    const t = this.$('#toast');
    t.textContent = text;
    t.classList.add('show');
    clearTimeout(this.toastTimer);
    this.toastTimer = setTimeout(() => t.classList.remove('show'), 2200);
  }

  showSceneName(n) {
    const el = this.$('#scene-name');
    el.innerHTML = `<span class="num"></span><span class="nm"></span>`;
    el.querySelector('.num').textContent = String(n).padStart(2, '0');
    el.querySelector('.nm').textContent = SCENES[n - 1].name;
    el.classList.remove('show');
    void el.offsetWidth;
    el.classList.add('show');
  }

  buildPanel() {
    const host = this.host;
    const add = (tab, c, id) => { this.$(`#tab-${tab}`).appendChild(c.el); this.controls.set(id, c); };
    // Scenes.
    const grid = this.$('#scene-grid');
    SCENES.forEach((s, i) => {
      const b = this.doc.createElement('button');
      b.type = 'button'; b.tabIndex = -1;
      b.className = 'scene-btn';
      b.dataset.scene = String(i + 1);
      b.innerHTML = `<span class="num"></span><span class="nm"></span>`;
      b.querySelector('.num').textContent = String(i + 1);
      b.querySelector('.nm').textContent = s.name;
      b.addEventListener('click', () => this.editParam('scene', i + 1));
      grid.appendChild(b);
    });
    this.controls.set('scene', { update: () => {} });
    const hueTrack = 'linear-gradient(90deg,' + Array.from({ length: 13 }, (_, i) => `hsl(${i * 30},85%,55%)`).join(',') + ')';
    add('look', makeSlider(PARAM_BY_ID.hue, host, { track: hueTrack }), 'hue');
    add('look', makeSlider(PARAM_BY_ID.hue2, host, { track: hueTrack }), 'hue2');
    add('look', makeChoice(PARAM_BY_ID.colour, host, COLOUR_MODES), 'colour');
    add('look', makeSlider(PARAM_BY_ID.react, host), 'react');
    add('look', makeChoice(PARAM_BY_ID.autoPilot, host, ['Off', 'On']), 'autoPilot');
    for (const id of ['sensitivity', 'attack', 'release', 'wBass', 'wMid', 'wHigh']) add('audio', makeSlider(PARAM_BY_ID[id], host), id);
    add('audio', makeChoice(PARAM_BY_ID.beatSource, host, BEAT_SOURCES), 'beatSource');
  }

  buildHelp() {
    const tbody = this.$('#help-keys');
    for (const s of SHORTCUTS) {
      const tr = this.doc.createElement('tr');
      tr.innerHTML = '<td><kbd></kbd></td><td></td>';
      tr.querySelector('kbd').textContent = s.label;
      tr.lastChild.textContent = s.help;
      tbody.appendChild(tr);
    }
  }

  bindUi() {
    const $ = this.$, doc = this.doc;
    doc.addEventListener('keydown', (e) => {
      const t = e.target;
      if (t && (t.tagName === 'INPUT' || t.tagName === 'TEXTAREA')) {
        if (e.key === 'Escape') t.blur();
        return;
      }
      if (e.ctrlKey || e.metaKey || e.altKey) return;
      // Held keys repeat only for stepping; toggles would flicker.
      if (e.repeat && !e.code.startsWith('Arrow')) { if (lookupKey(e.code, e.shiftKey)) e.preventDefault(); return; }
      if (this.keys.handle(e.code, e.shiftKey)) e.preventDefault();
    });
    $('#btn-panel').addEventListener('click', () => this.ui.toggle('panel'));
    $('#btn-close-panel').addEventListener('click', () => this.ui.set('panel', false));
    $('#btn-help').addEventListener('click', () => this.ui.toggle('help'));
    $('#btn-close-help').addEventListener('click', () => this.ui.set('help', false));
    $('#btn-hud').addEventListener('click', () => this.ui.toggle('hud'));
    $('#btn-fullscreen').addEventListener('click', () => this.toggleFullscreen());
    doc.querySelectorAll('.tab-btn').forEach((b) => b.addEventListener('click', () => this.ui.set('panelTab', b.dataset.tab)));
    doc.querySelectorAll('[data-url]').forEach((a) => a.addEventListener('click', (e) => { e.preventDefault(); this.openUrl(a.dataset.url); }));
    $('#page-address').textContent = this.bridge.pageAddress?.() || location.href;
    $('#btn-copy-address').addEventListener('click', () => this.copyAddress());
    // Controls appear with the pointer and fade out when it rests.
    let idleTimer = 0;
    const wake = () => {
      doc.body.classList.add('pointer-active');
      clearTimeout(idleTimer);
      idleTimer = setTimeout(() => doc.body.classList.remove('pointer-active'), 2500);
    };
    doc.addEventListener('pointermove', wake);
    doc.addEventListener('pointerdown', wake);
    // After typing, give the keyboard back to the host so its shortcuts and ours keep working.
    doc.querySelectorAll('input[type=text]').forEach((i) => i.addEventListener('blur', () => this.call('hostFocus')));
    $('#preset-save').addEventListener('click', () => this.savePreset());
    $('#preset-name').addEventListener('keydown', (e) => { if (e.key === 'Enter') { this.savePreset(); e.target.blur(); } });
    const stage = $('#stage');
    stage.addEventListener('dblclick', () => this.ui.toggle('panel'));
    this.engine.onRendered = (a) => this.updateHud(a);
  }

  openUrl(url) {
    this.bridge.emitEvent('openUrl', url);
  }

  async copyAddress() {
    const text = this.$('#page-address').textContent;
    try { await navigator.clipboard.writeText(text); this.toast('Address copied'); } catch { this.toast(text); }
  }

  updateHud(a) {
    if (this.ui.get('uiHidden') || !this.ui.get('hud')) return;
    const h = this.hud || (this.hud = {
      bpm: this.$('#hud-bpm'), conf: this.$('#hud-conf'), loud: this.$('#hud-loud'), bar: this.$('#hud-bar'),
      beats: this.$('#hud-beats'), idle: this.$('#idle-hint'), lastBpm: '', beatEls: [], lastBeats: -1,
    });
    const bpm = a.bpm.toFixed(1);
    if (bpm !== h.lastBpm) { h.bpm.textContent = bpm; h.lastBpm = bpm; }
    h.conf.style.width = `${(a.beatConf * 100).toFixed(1)}%`;
    h.loud.style.width = `${(this.engine.frame.loud * 100).toFixed(1)}%`;
    h.bar.style.width = `${(a.bar * 100).toFixed(1)}%`;
    const n = Math.max(1, Math.min(12, Math.round(a.tsNum)));
    if (n !== h.lastBeats) {
      h.beats.innerHTML = '';
      h.beatEls = Array.from({ length: n }, () => h.beats.appendChild(this.doc.createElement('i')));
      h.lastBeats = n;
    }
    const cur = Math.floor(a.bar * n);
    h.beatEls.forEach((e, i) => e.classList.toggle('on', i === cur));
    this.doc.body.classList.toggle('idle', this.engine.frame.idle > 0.6);
  }

  // Presets: the page's own JSON files, saved and listed by the host.
  presetText() {
    const params = {};
    for (const p of PARAMS) params[p.id] = this.params.get(p.id);
    return JSON.stringify({ vistrel: 1, params }, null, 1);
  }

  async savePreset() {
    const name = this.$('#preset-name').value.trim();
    if (!name) { this.toast('Type a name for the preset'); return; }
    await this.call('savePresetFile', name, this.presetText());
    this.ui.set('lastPreset', name);
    this.toast(`Saved “${name}”`);
    this.refreshPresets();
  }

  async loadPreset(name) {
    const o = parseJson(await this.call('loadUserPreset', name));
    if (!o || typeof o !== 'object' || !o.params) { this.toast(`Could not load “${name}”`); return; }
    for (const p of PARAMS) if (p.id in o.params) this.editParam(p.id, o.params[p.id]);
    this.ui.set('lastPreset', name);
    this.toast(`Loaded “${name}”`);
  }

  async refreshPresets() {
    const list = parseJson(await this.call('listUserPresets'));
    const ul = this.$('#preset-list');
    ul.innerHTML = '';
    if (!Array.isArray(list) || list.length === 0) {
      ul.innerHTML = '<li class="empty">No presets saved yet</li>';
      return;
    }
    for (const name of list.map(String).sort((x, y) => x.localeCompare(y))) {
      const li = this.doc.createElement('li');
      li.innerHTML = '<button type="button" class="load" tabindex="-1"></button><button type="button" class="del" tabindex="-1" title="Delete">✕</button>';
      li.querySelector('.load').textContent = name;
      li.classList.toggle('on', name === this.ui.get('lastPreset'));
      li.querySelector('.load').addEventListener('click', () => this.loadPreset(name));
      li.querySelector('.del').addEventListener('click', async () => { await this.call('deletePresetFile', name); this.refreshPresets(); });
      ul.appendChild(li);
    }
  }

  // Standalone: the page draws the window's title bar and moves the window itself.
  enableTitleBar() {
    this.standalone = true;
    this.doc.body.classList.add('standalone');
    const bar = this.$('#titlebar');
    let drag = null;
    bar.addEventListener('pointerdown', (e) => {
      if (e.button !== 0 || e.target.closest('button')) return;
      bar.setPointerCapture(e.pointerId);
      drag = { x: e.screenX, y: e.screenY };
      this.call('windowDragStart');
    });
    bar.addEventListener('pointermove', (e) => {
      if (drag) this.call('windowDragTo', e.screenX - drag.x, e.screenY - drag.y);
    });
    const end = () => { if (drag) { drag = null; this.call('windowDragEnd'); } };
    bar.addEventListener('pointerup', end);
    bar.addEventListener('pointercancel', end);
    bar.addEventListener('dblclick', (e) => { if (!e.target.closest('button')) this.call('windowToggleMax'); });
    this.$('#tb-options').addEventListener('click', () => this.call('windowOptions'));
    this.$('#tb-max').addEventListener('click', () => this.call('windowToggleMax'));
    this.$('#tb-close').addEventListener('click', () => this.call('windowClose'));
  }
}

export { valueText };
