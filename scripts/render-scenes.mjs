#!/usr/bin/env node
// Renders every scene for a few seconds of generated music at 1280x720 in headless Chromium,
// saves one PNG per scene plus a contact sheet, and measures the time each scene takes per
// frame. With --check it fails when a scene draws nothing or looks like another scene.
//
//   scripts/render-scenes.mjs [--out DIR] [--seconds S] [--scenes 1,5,9] [--canvas] [--scale K] [--check]
//
// --scale fixes the render resolution (1 = full 1280x720, 0 = adapt as the app does).

import fs from 'node:fs';
import path from 'node:path';
import { serve, launch, openPage, fingerprint, difference, litCells, ROOT } from '../tests/page/support/harness.js';

const args = process.argv.slice(2);
const opt = (name, def) => { const i = args.indexOf(name); return i >= 0 ? args[i + 1] : def; };
const out = path.resolve(opt('--out', path.join(ROOT, 'build', 'scenes')));
const seconds = Number(opt('--seconds', '3'));
const only = opt('--scenes', '');
const canvas = args.includes('--canvas');
const scale = opt('--scale', '1');
const check = args.includes('--check');

fs.mkdirSync(out, { recursive: true });
const { server, url } = await serve();
const { context, close } = await launch();
let failed = false;
try {
  const { page, errors } = await openPage(context, url, `?scale=${scale}${canvas ? '&canvas' : ''}`);
  const info = await page.evaluate(() => {
    const app = window.vistrel;
    app.ui.set('uiHidden', true);
    app.engine.measureSync = true;
    return { renderer: app.engine.g.kind, names: (app.engine.scenes).map((s) => s.name) };
  });
  const list = only ? only.split(',').map(Number) : info.names.map((_, i) => i + 1);
  console.log(`renderer: ${info.renderer}, ${seconds} s per scene, output ${out}`);
  const results = [];
  for (const n of list) {
    await page.evaluate((s) => window.__fake.hostSet('scene', s), n);
    // Let the transition finish, then measure over the rest of the time.
    await page.waitForTimeout(700);
    const before = await page.evaluate(() => ({ f: window.vistrel.engine.frames, t: performance.now() }));
    await page.waitForTimeout(Math.max(500, seconds * 1000 - 700));
    const m = await page.evaluate((b) => {
      const e = window.vistrel.engine;
      const frames = e.frames - b.f;
      const k = Math.min(frames, e.cost.length);
      const costs = [];
      for (let i = 0; i < k; i++) costs.push(e.cost[(e.frames - 1 - i) % e.cost.length]);
      costs.sort((x, y) => x - y);
      return { shown: e.shown, fps: frames / ((performance.now() - b.t) / 1000), mean: costs.reduce((s, x) => s + x, 0) / Math.max(1, k), p95: costs[Math.floor(k * 0.95)] || 0 };
    }, before);
    const name = info.names[n - 1];
    const file = path.join(out, `scene-${String(n).padStart(2, '0')}-${name.toLowerCase().replace(/[^a-z0-9]+/g, '-')}.png`);
    await page.screenshot({ path: file });
    const fp = await fingerprint(page);
    const lit = await litCells(page);
    results.push({ n, name, file: path.basename(file), shown: m.shown, fps: m.fps, mean: m.mean, p95: m.p95, fp, lit });
    console.log(`${String(n).padStart(2)} ${name.padEnd(18)} ${m.mean.toFixed(1).padStart(6)} ms mean ${m.p95.toFixed(1).padStart(6)} ms p95 ${m.fps.toFixed(1).padStart(5)} fps ${String(lit).padStart(3)} lit cells`);
  }
  fs.writeFileSync(path.join(out, 'frame-times.json'), JSON.stringify({ renderer: info.renderer, results: results.map(({ fp, lit, ...r }) => r) }, null, 1));
  fs.writeFileSync(path.join(out, 'index.html'), `<!doctype html><meta charset="utf-8"><title>Vistrel scenes</title>
<style>body{background:#111;color:#ccc;font:12px sans-serif;display:grid;grid-template-columns:repeat(4,1fr);gap:8px;margin:8px}img{width:100%}</style>
${results.map((r) => `<figure><img src="${r.file}"><figcaption>${r.n} ${r.name} · ${r.mean.toFixed(1)} ms</figcaption></figure>`).join('\n')}`);

  if (check) {
    const problems = [];
    if (errors.length) problems.push(`page errors: ${errors.join('; ')}`);
    for (const r of results) {
      if (r.shown !== r.n) problems.push(`scene ${r.n} was not on screen (showing ${r.shown})`);
      if (r.lit < 3) problems.push(`scene ${r.n} ${r.name} is (nearly) black`);
    }
    for (let i = 0; i < results.length; i++) for (let j = i + 1; j < results.length; j++) {
      const d = difference(results[i].fp, results[j].fp);
      if (d < 2) problems.push(`scenes ${results[i].n} and ${results[j].n} look alike (difference ${d.toFixed(2)})`);
    }
    if (problems.length) { failed = true; console.error(problems.join('\n')); } else console.log('check: all scenes drawn and distinct');
  }
} finally {
  await close();
  server.close();
}
process.exit(failed ? 1 : 0);
