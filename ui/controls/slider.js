// A horizontal slider for one parameter. Not focusable, so arrow keys stay with the shortcuts.
import { SliderGesture } from './gesture.js';
import { toNorm, fromNorm, valueText } from '../params.js';

export function makeSlider(p, host, { track = '' } = {}) {
  const el = document.createElement('div');
  el.className = 'ctl slider';
  el.dataset.param = p.id;
  el.innerHTML = `<div class="ctl-head"><span class="ctl-name"></span><span class="ctl-value"></span></div>
    <div class="slider-track"><div class="slider-fill"></div><div class="slider-thumb"></div></div>`;
  el.querySelector('.ctl-name').textContent = p.name;
  const valueEl = el.querySelector('.ctl-value');
  const trackEl = el.querySelector('.slider-track');
  const fill = el.querySelector('.slider-fill');
  const thumb = el.querySelector('.slider-thumb');
  if (track) trackEl.style.background = track;
  const gesture = new SliderGesture(p.id, host);
  let value = p.def;

  const show = (v) => {
    value = v;
    const n = toNorm(p, v);
    fill.style.width = `${n * 100}%`;
    thumb.style.left = `${n * 100}%`;
    valueEl.textContent = valueText(p, v);
  };
  const at = (e) => {
    const r = trackEl.getBoundingClientRect();
    return fromNorm(p, (e.clientX - r.left) / Math.max(1, r.width));
  };
  trackEl.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    e.preventDefault();
    trackEl.setPointerCapture(e.pointerId);
    el.classList.add('dragging');
    const v = at(e);
    show(v);
    gesture.down(v);
  });
  trackEl.addEventListener('pointermove', (e) => {
    if (!gesture.active) return;
    const v = at(e);
    show(v);
    gesture.move(v);
  });
  const release = () => { el.classList.remove('dragging'); gesture.up(); };
  trackEl.addEventListener('pointerup', release);
  trackEl.addEventListener('pointercancel', release);
  trackEl.addEventListener('lostpointercapture', release);
  // Double-click returns to the default.
  trackEl.addEventListener('dblclick', () => { show(p.def); gesture.tap(p.def); });

  show(p.def);
  return {
    el,
    // Host automation moves the slider, except while the user holds it.
    update(v) { if (!gesture.active && v !== value) show(v); },
  };
}

// A row of buttons for a choice or on/off parameter.
export function makeChoice(p, host, labels) {
  const el = document.createElement('div');
  el.className = 'ctl choice';
  el.dataset.param = p.id;
  el.innerHTML = `<div class="ctl-head"><span class="ctl-name"></span></div><div class="choice-row"></div>`;
  el.querySelector('.ctl-name').textContent = p.name;
  const row = el.querySelector('.choice-row');
  const gesture = new SliderGesture(p.id, host);
  const buttons = labels.map((label, i) => {
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = label;
    b.tabIndex = -1;
    b.addEventListener('click', () => { set(i); gesture.tap(i); });
    row.appendChild(b);
    return b;
  });
  let value = -1;
  const set = (v) => { value = v; buttons.forEach((b, i) => b.classList.toggle('on', i === Math.round(v))); };
  set(p.def);
  return { el, update(v) { if (v !== value) set(v); } };
}
