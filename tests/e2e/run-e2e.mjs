// Browser tests of the editor's bridge, run under Xvfb by CTest:
//   frames    the host runs with VISTREL_NO_WEBVIEW=1; Debian's Chromium opens the printed page
//             address and must receive 25-key frames at 100/s or more over 5 s, parameters after
//             uiHello, and an answer to getInit.
//   embedded  the host shows the page in its own window (WebKit inside JUCE); once the page has
//             connected, a screenshot of the screen is saved and must show the colour the page
//             turns after its 200th frame; then the product's own page is shown the same way:
//             it must draw, move with the audio, dim when the host goes silent and follow a
//             scene change made by the host (screenshot app-window-ui.png).
// Usage: node run-e2e.mjs <frames|embedded> <host binary> <artifact folder>

import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { startHost as startHostProcess } from './host-process.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '../..');
const [mode, hostBinary, artifacts] = process.argv.slice(2);
const MEASURE_MS = 5000;

function fail(message) {
  console.error(`FAIL: ${message}`);
  process.exitCode = 1;
}

/** A UI folder holding the probe page and the bridge module it imports. */
function probeFolder() {
  const dir = mkdtempSync(path.join(tmpdir(), 'vistrel-e2e-ui-'));
  cpSync(path.join(here, 'fixtures/probe'), dir, { recursive: true });
  cpSync(path.join(repo, 'ui/bridge.js'), path.join(dir, 'bridge.js'));
  return dir;
}

function startHost(env) {
  return startHostProcess(hostBinary, env);
}

async function framesInChromium() {
  const ui = probeFolder();
  const profile = mkdtempSync(path.join(tmpdir(), 'vistrel-e2e-chromium-'));
  const host = startHost({ VISTREL_NO_WEBVIEW: '1', VISTREL_UI_DIR: ui });
  let context;

  try {
    const [, address] = await host.waitFor(/Vistrel page: (\S+)/, 60000);
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
    const page = context.pages()[0] ?? await context.newPage();
    page.on('pageerror', (error) => fail(`page error: ${error.message}`));
    await page.goto(address);
    await page.waitForFunction(() => window.probe && window.probe.connected && window.probe.frames.length > 0, null, { timeout: 20000 });

    const start = await page.evaluate(() => window.probe.frames.length);
    await page.waitForTimeout(MEASURE_MS);
    const result = await page.evaluate(() => ({
      address: window.probe.address,
      frames: window.probe.frames.length,
      times: window.probe.frames.slice(-700),
      badFrames: window.probe.badFrames,
      frameKeys: window.probe.frameKeys,
      params: window.probe.paramsAfterHello,
      init: window.probe.init,
      errors: window.probe.errors,
    }));

    const perSecond = (result.frames - start) / (MEASURE_MS / 1000);
    const gaps = result.times.slice(1).map((t, i) => t - result.times[i]).sort((a, b) => a - b);
    const report = {
      framesPerSecond: perSecond,
      frameKeys: result.frameKeys,
      badFrames: result.badFrames,
      medianGapMs: gaps[Math.floor(gaps.length / 2)],
      maxGapMs: gaps[gaps.length - 1],
      paramsAfterHello: result.params !== null ? Object.keys(result.params).length : 0,
      initParams: result.init ? Object.keys(result.init.params).length : 0,
      initState: result.init ? result.init.state : undefined,
    };
    console.log('frames report', JSON.stringify(report));
    writeFileSync(path.join(artifacts, 'frames-report.json'), JSON.stringify(report, null, 2));

    if (result.address !== address) fail(`the page reports ${result.address}, the host printed ${address}`);
    if (perSecond < 100) fail(`${perSecond} frames/s, expected at least 100`);
    if (result.frameKeys !== 25 || result.badFrames !== 0) fail(`frames with ${result.frameKeys} keys, ${result.badFrames} malformed`);
    if (report.paramsAfterHello !== 13) fail('no vistrel-params with 13 values after uiHello');
    if (report.initParams !== 13) fail(`getInit answered ${JSON.stringify(result.init)}`);
    if (result.errors.length) fail(`page errors: ${result.errors.join('; ')}`);

    // The host goes away: the page must notice, and a call must reject rather than hang.
    const { code } = await host.stop();
    if (code !== 0) fail(`host exit code ${code}`);
    await page.waitForFunction(() => window.probe.connected === false, null, { timeout: 10000 });
    const outcome = await page.evaluate(() => Promise.race([
      window.probe.callAfterLoss(),
      new Promise((resolve) => setTimeout(() => resolve('hung'), 3000)),
    ]));
    if (outcome !== 'rejected') fail(`a call after the connection dropped ${outcome}`);
  } finally {
    if (context) await context.close();
    const { code } = await host.stop();
    if (code !== 0) fail(`host exit code ${code}`);
    rmSync(ui, { recursive: true, force: true });
    rmSync(profile, { recursive: true, force: true });
  }
}

/** The screen as raw RGB, through ffmpeg's X11 grabber. */
function grabScreen(width, height, pngPath) {
  const display = process.env.DISPLAY;
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'x11grab', '-video_size', `${width}x${height}`,
    '-i', display, '-frames:v', '1', pngPath]);
  return execFileSync('ffmpeg', ['-loglevel', 'error', '-i', pngPath, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
    { maxBuffer: width * height * 3 + 1024 });
}

async function embeddedPage() {
  const ui = probeFolder();
  const host = startHost({ VISTREL_UI_DIR: ui, VISTREL_NO_WEBVIEW: '' });

  try {
    await host.waitFor(/Vistrel e2e host: pages [1-9]/, 90000);
    await new Promise((resolve) => setTimeout(resolve, 2000));   // let WebKit paint

    const [width, height] = [1280, 800];
    const shot = path.join(artifacts, 'app-window.png');
    const pixels = grabScreen(width, height, shot);

    // The editor opens at 1100 x 680; the probe page turns magenta after 200 frames.
    let magenta = 0;
    for (let y = 100; y < 600; y += 10) {
      for (let x = 100; x < 1000; x += 10) {
        const i = (y * width + x) * 3;
        if (pixels[i] > 230 && pixels[i + 1] < 30 && pixels[i + 2] > 150) magenta++;
      }
    }
    console.log(`screenshot ${shot}: ${magenta} of 4500 samples show the page`);
    if (magenta < 3000) fail('the page is not visible inside the host window, or received no frames');
  } finally {
    const { code } = await host.stop();
    if (code !== 0) fail(`host exit code ${code}`);
    rmSync(ui, { recursive: true, force: true });
  }
}

/** Luminance samples of the window's page area (the editor opens at 1100 x 680), every 10 px. */
function pageSamples(pixels, width) {
  const out = [];
  for (let y = 100; y < 600; y += 10) {
    for (let x = 100; x < 1000; x += 10) {
      const i = (y * width + x) * 3;
      out.push(0.299 * pixels[i] + 0.587 * pixels[i + 1] + 0.114 * pixels[i + 2]);
    }
  }
  return out;
}

const meanOf = (a) => a.reduce((s, v) => s + v, 0) / a.length;
const changeBetween = (a, b) => a.reduce((s, v, i) => s + Math.abs(v - b[i]), 0) / a.length;

/** Polls screenshots until `accept(samples)` holds or `timeoutMs` passes; returns the last. */
async function screenUntil(accept, timeoutMs, shot) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const samples = pageSamples(grabScreen(1280, 800, shot), 1280);
    if (accept(samples) || Date.now() > end) return samples;
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}

/** The product's own page (the checkout's ui/) inside the host window: in WebKit it must draw,
    move with the host's audio, follow a scene change made by the host and calm down when the
    audio stops. */
async function embeddedRealPage() {
  const host = startHost({ VISTREL_NO_WEBVIEW: '', VISTREL_UI_DIR: path.join(repo, 'ui') });
  const shot = path.join(artifacts, 'app-window-ui.png');
  const scratch = path.join(artifacts, 'app-window-scratch.png');

  try {
    await host.waitFor(/Vistrel e2e host: pages [1-9]/, 90000);
    const first = await screenUntil((s) => meanOf(s) > 4, 20000, shot);
    console.log(`screenshot ${shot}: mean brightness ${meanOf(first).toFixed(1)}`);
    if (!(meanOf(first) > 4)) fail('the product page draws nothing inside the host window');

    const moving = await screenUntil((s) => changeBetween(first, s) > 1, 10000, scratch);
    console.log(`the picture moved by ${changeBetween(first, moving).toFixed(2)}`);
    if (!(changeBetween(first, moving) > 1)) fail('the product page does not move with the audio in WebKit');

    const loud = meanOf(moving);
    await host.command('silent 1', /Vistrel e2e host: silent 1/);
    const quiet = await screenUntil((s) => meanOf(s) < 0.6 * loud, 15000, scratch);
    console.log(`brightness with audio ${loud.toFixed(1)}, after silence ${meanOf(quiet).toFixed(1)}`);
    if (!(meanOf(quiet) < 0.6 * loud)) fail('the product page does not calm down in silence in WebKit');

    await host.command('silent 0', /Vistrel e2e host: silent 0/);
    await host.command('set scene 20', /Vistrel e2e host: set scene/);
    const other = await screenUntil((s) => changeBetween(moving, s) > 6, 15000, scratch);
    console.log(`after the host's scene change: change ${changeBetween(moving, other).toFixed(2)}`);
    if (!(changeBetween(moving, other) > 6)) fail('a scene change from the host does not show in WebKit');
  } finally {
    const { code } = await host.stop();
    if (code !== 0) fail(`host exit code ${code}`);
    rmSync(scratch, { force: true });
  }
}

mkdirSync(artifacts, { recursive: true });

try {
  if (mode === 'frames') await framesInChromium();
  else if (mode === 'embedded') { await embeddedPage(); await embeddedRealPage(); }
  else fail(`unknown mode ${mode}`);
} catch (error) {
  fail(error.stack ?? String(error));
}
