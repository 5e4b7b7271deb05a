// Serves ui/ on 127.0.0.1 with the stand-in bridge in place of bridge.js, and opens it in
// Debian's Chromium through playwright-core with a fresh profile.

import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const ROOT = path.resolve(here, '../../..');
const UI = path.join(ROOT, 'ui');
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.json': 'application/json', '.png': 'image/png', '.svg': 'image/svg+xml' };

export function serve() {
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://x');
    let file;
    if (url.pathname === '/bridge.js') file = path.join(here, 'fake-bridge.js');
    else if (url.pathname.startsWith('/__test/')) file = path.join(here, path.basename(url.pathname));
    else file = path.join(UI, url.pathname === '/' ? 'index.html' : decodeURIComponent(url.pathname));
    if (!file.startsWith(UI) && !file.startsWith(here)) { res.writeHead(403); res.end(); return; }
    fs.readFile(file, (err, data) => {
      if (err) { res.writeHead(404); res.end(); return; }
      res.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream', 'cache-control': 'no-store' });
      res.end(data);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, url: `http://127.0.0.1:${server.address().port}/` })));
}

export async function launch({ width = 1280, height = 720 } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vistrel-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: { width, height },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const close = async () => { await context.close(); fs.rmSync(profile, { recursive: true, force: true }); };
  return { context, close };
}

// Opens the page and waits until it has drawn a few frames.
export async function openPage(context, url, query = '') {
  const page = context.pages()[0] || await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  await page.goto(url + query);
  await page.waitForFunction(() => window.vistrel && window.vistrel.engine.frames > 5, null, { timeout: 15000 });
  return { page, errors };
}

// The picture in 16 x 9 cells, read back at full resolution (a shrunken copy can lose thin lines
// altogether): each cell's mean luminance, and how many cells hold anything visible.
function cellStats(page) {
  return page.evaluate(() => {
    const src = document.getElementById('stage');
    const w = src.width, h = src.height;
    const c = document.createElement('canvas');
    c.width = w; c.height = h;
    const x = c.getContext('2d');
    x.drawImage(src, 0, 0);
    const d = x.getImageData(0, 0, w, h).data;
    const sum = new Float64Array(144), count = new Float64Array(144), bright = new Uint8Array(144);
    for (let y = 0; y < h; y++) {
      const row = Math.floor(y * 9 / h) * 16;
      for (let i = 0; i < w; i++) {
        const k = (y * w + i) * 4, cell = row + Math.floor(i * 16 / w);
        const l = 0.299 * d[k] + 0.587 * d[k + 1] + 0.114 * d[k + 2];
        sum[cell] += l; count[cell]++;
        if (l > 24) bright[cell] = 1;
      }
    }
    return { means: Array.from(sum, (v, i) => Math.round(v / count[i])), lit: bright.reduce((s, v) => s + v, 0) };
  });
}

export async function fingerprint(page) { return (await cellStats(page)).means; }

export async function litCells(page) { return (await cellStats(page)).lit; }

export function difference(a, b) {
  let s = 0;
  for (let i = 0; i < a.length; i++) s += Math.abs(a[i] - b[i]);
  return s / a.length;
}

// Drags a panel slider with real mouse events from 20 % to 60 % of its track, in eight moves.
export async function dragSlider(page, param) {
  const track = await page.locator(`.slider[data-param=${param}] .slider-track`).boundingBox();
  const y = track.y + track.height / 2;
  await page.mouse.move(track.x + track.width * 0.2, y);
  await page.mouse.down();
  for (let i = 1; i <= 8; i++) await page.mouse.move(track.x + track.width * (0.2 + i * 0.05), y);
  await page.mouse.up();
}
