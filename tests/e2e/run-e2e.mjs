// Browser tests of the editor's bridge, run under Xvfb by CTest:
//   frames    the host runs with VISTREL_NO_WEBVIEW=1; Debian's Chromium opens the printed page
//             address and must receive 25-key frames at 100/s or more over 5 s, parameters after
//             uiHello, and an answer to getInit.
//   embedded  the host shows the page in its own window (WebKit inside JUCE); once the page has
//             connected, a screenshot of the screen is saved and must show the colour the page
//             turns after its 200th frame; then the product's own page is shown the same way
//             and must connect, and its screenshot is saved too.
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

/** The product's own page (the checkout's ui/) inside the host window, for the record: it must
    connect to the bridge; what it draws is the page tests' business. */
async function embeddedRealPage() {
  const host = startHost({ VISTREL_NO_WEBVIEW: '', VISTREL_UI_DIR: path.join(repo, 'ui') });

  try {
    await host.waitFor(/Vistrel e2e host: pages [1-9]/, 90000);
    await new Promise((resolve) => setTimeout(resolve, 3000));
    const shot = path.join(artifacts, 'app-window-ui.png');
    grabScreen(1280, 800, shot);
    console.log(`screenshot ${shot}`);
  } finally {
    const { code } = await host.stop();
    if (code !== 0) fail(`host exit code ${code}`);
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
