// The standalone application under Xvfb, in a temporary HOME, run by CTest:
//   state       first start writes no "filterState"; closing through windowClose saves it and a
//               second start restores parameters, UI state and window size; "Reset to default
//               state" from the options menu leaves no "filterState" and the thirteen defaults
//   window      the window functions through the bridge on the real window: drags, screen-edge
//               limits, full screen there and back, the options menu, closing after answering
//   screenshot  the page embedded in the window: 6-pixel black margin and the corner grip
//   headless    without a display the app still runs (no window) and quits cleanly
// The page is a probe (fixtures/probe) opened in Chromium at the address the app prints with
// VISTREL_NO_WEBVIEW=1, except for the screenshot. Window geometry comes from xdotool.
// Usage: node run-standalone.mjs <mode> <app binary> <artifact folder>

import { spawn, execFileSync } from 'node:child_process';
import { cpSync, existsSync, mkdtempSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '../..');
const [mode, appBinary, artifacts] = process.argv.slice(2);
const APP_NAME = 'Quorvane Vistrel';
const SCREEN = { width: 1280, height: 800 };   // the Xvfb screen CTest starts; no window manager
const SETTINGS_SAVE_DELAY_MS = 3000;
const WINDOW_BORDER = 4;                       // the framework's resize border around a window without a native title bar           // the framework saves the settings this long after a change

const near = (a, b) => Math.abs(a - b) <= 1e-4 * Math.max(1, Math.abs(b));
const hasValues = (params, expected) => Object.keys(params).length === 13
  && Object.entries(expected).every(([k, v]) => near(params[k], v));

const DEFAULTS = {
  scene: 1, hue: 0, hue2: 0, react: 85, colour: 0, autoPilot: 0, sensitivity: 0,
  attack: 10, release: 150, wBass: 1, wMid: 1, wHigh: 1, beatSource: 2,
};

let failures = 0;
function check(ok, message) {
  if (!ok) {
    failures++;
    console.error(`FAIL: ${message}`);
  } else {
    console.log(`ok: ${message}`);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(probe, timeoutMs = 5000) {
  const end = Date.now() + timeoutMs;
  let value = await probe();
  while (!value && Date.now() < end) {
    await sleep(50);
    value = await probe();
  }
  return value;
}

//==============================================================================
function probeFolder() {
  const dir = mkdtempSync(path.join(tmpdir(), 'vistrel-standalone-ui-'));
  cpSync(path.join(here, 'fixtures/probe'), dir, { recursive: true });
  cpSync(path.join(repo, 'ui/bridge.js'), path.join(dir, 'bridge.js'));
  return dir;
}

function settingsFile(home) {
  return path.join(home, '.config', `${APP_NAME}.settings`);
}

/** The settings file's values by name, or null while there is no file. */
function readSettings(home) {
  const file = settingsFile(home);
  if (!existsSync(file)) return null;
  const values = {};
  for (const [, name, value] of readFileSync(file, 'utf8').matchAll(/<VALUE name="([^"]+)" val="([^"]*)"/g))
    values[name] = value;
  for (const [, name] of readFileSync(file, 'utf8').matchAll(/<VALUE name="([^"]+)">/g))
    values[name] = '(xml)';
  return values;
}

/** Starts the app; `pages` waits for the n-th printed page address. */
function startApp(home, env = {}) {
  const child = spawn(appBinary, [], {
    env: { ...process.env, HOME: home, ...env },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let output = '';
  child.stdout.setEncoding('utf8').on('data', (chunk) => { output += chunk; process.stdout.write(`[app] ${chunk}`); });
  child.stderr.setEncoding('utf8').on('data', (chunk) => process.stderr.write(`[app] ${chunk}`));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  let exit = null;
  exited.then((result) => { exit = result; });

  return {
    child,
    exited,
    hasExited: () => exit !== null,
    async page(n = 1, timeoutMs = 60000) {
      const found = await until(() => {
        const addresses = [...output.matchAll(/Vistrel page: (\S+)/g)].map((m) => m[1]);
        return addresses.length >= n ? addresses[n - 1] : (exit ? 'exited' : null);
      }, timeoutMs);
      if (!found || found === 'exited') throw new Error(`the app printed no page address #${n}`);
      return found;
    },
    /** Waits for the app to end by itself; kills it after the timeout. */
    async ended(timeoutMs = 15000) {
      const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
      const result = await exited;
      clearTimeout(timer);
      return result;
    },
    // SIGINT makes JUCE quit through its message loop, without the close button's state save.
    async stop() {
      if (exit === null) child.kill('SIGINT');
      return this.ended();
    },
  };
}

let browser;
async function openPage(address) {
  browser ??= await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
  });
  const page = await browser.newPage();
  page.on('pageerror', (error) => check(false, `page error: ${error.message}`));
  await page.goto(address);
  await page.waitForFunction(() => window.probe && window.probe.connected, null, { timeout: 20000 });
  return page;
}

function callNative(page, name, ...args) {
  return page.evaluate(([n, a]) => window.native(n, ...a), [name, args]);
}

async function initOf(page) {
  return JSON.parse(await callNative(page, 'getInit'));
}

//==============================================================================
function xdotool(...args) {
  return execFileSync('xdotool', args, { encoding: 'utf8' }).trim();
}

function appWindowId() {
  const ids = xdotool('search', '--name', `^${APP_NAME}$`).split('\n').filter(Boolean);
  if (ids.length !== 1) throw new Error(`expected one window named ${APP_NAME}, found ${ids.length}`);
  return ids[0];
}

function geometry(id = appWindowId()) {
  const shell = Object.fromEntries(xdotool('getwindowgeometry', '--shell', id).split('\n').map((l) => l.split('=')));
  return { x: Number(shell.X), y: Number(shell.Y), width: Number(shell.WIDTH), height: Number(shell.HEIGHT) };
}

const same = (a, b) => a.x === b.x && a.y === b.y && a.width === b.width && a.height === b.height;
const show = (g) => `${g.width}x${g.height}+${g.x}+${g.y}`;

/** Top-level windows mapped on the screen, as xwininfo lists the root's children. */
function mappedWindows() {
  const listing = execFileSync('xwininfo', ['-root', '-children'], { encoding: 'utf8' });
  const ids = [...listing.matchAll(/^\s+(0x[0-9a-f]+)/gm)].map((m) => m[1]);
  return ids.filter((id) => /Map State: IsViewable/.test(execFileSync('xwininfo', ['-id', id], { encoding: 'utf8' })));
}

function windowInfo(id) {
  const info = execFileSync('xwininfo', ['-id', id], { encoding: 'utf8' });
  const num = (label) => Number(info.match(new RegExp(`${label}:\\s+(-?\\d+)`))[1]);
  return { x: num('Absolute upper-left X'), y: num('Absolute upper-left Y'), width: num('Width'), height: num('Height'),
    overrideRedirect: /Override Redirect State: yes/.test(info) };
}

/** The screen through ffmpeg's X11 grabber: a PNG and its raw RGB pixels. */
function grabScreen(pngPath) {
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'x11grab', '-video_size', `${SCREEN.width}x${SCREEN.height}`,
    '-i', process.env.DISPLAY, '-frames:v', '1', pngPath]);
  const raw = execFileSync('ffmpeg', ['-loglevel', 'error', '-i', pngPath, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
    { maxBuffer: SCREEN.width * SCREEN.height * 3 + 1024 });
  return (x, y) => {
    const i = (y * SCREEN.width + x) * 3;
    return [raw[i], raw[i + 1], raw[i + 2]];
  };
}

/** Opens the options menu through the bridge and returns the menu's window. */
async function openOptionsMenu(page) {
  const before = new Set(mappedWindows());
  check((await callNative(page, 'windowOptions')) === undefined, 'windowOptions answers void');
  const menu = await until(() => mappedWindows().find((id) => !before.has(id)), 5000);
  check(Boolean(menu), 'windowOptions opens a new window on the screen (the options menu)');
  if (!menu) return null;
  await sleep(300);   // let the menu paint
  return menu;
}

//==============================================================================
async function stateAcrossStarts() {
  const ui = probeFolder();
  const home = mkdtempSync(path.join(tmpdir(), 'vistrel-standalone-home-'));
  const env = { VISTREL_NO_WEBVIEW: '1', VISTREL_UI_DIR: ui };
  const chosen = { scene: 7, hue: 200, react: 40, colour: 3, autoPilot: 1, beatSource: 0, sensitivity: -6.5 };
  const uiState = '{"panel":"scenes","fav":[3,7],"note":"zürich ✓"}';

  try {
    // First start: nothing of the plug-in's state is written while the app runs.
    let app = startApp(home, env);
    let page = await openPage(await app.page());
    const first = await initOf(page);
    check(hasValues(first.params, DEFAULTS),
      `a first start has the thirteen defaults: ${JSON.stringify(first.params)}`);
    check(first.state === null || first.state === undefined, 'a first start has no UI state');

    // The editor opens at 1100 x 680 inside the window's 4-pixel resize border, under the
    // framework's 30-pixel "input is muted" notice.
    await sleep(500);
    const opened = geometry();
    check(opened.width === 1100 + 8 && opened.height === 680 + 30 + 8, `a first start opens the editor at 1100x680 (window ${show(opened)})`);

    for (const [id, v] of Object.entries(chosen)) await callNative(page, 'setParam', id, v);
    await callNative(page, 'saveState', uiState);
    const id = appWindowId();
    xdotool('windowsize', id, '900', '640');
    const resized = await until(() => { const g = geometry(id); return g.width === 900 && g.height === 640 ? g : null; });
    check(Boolean(resized), 'the window can be resized to 900x640');
    await sleep(SETTINGS_SAVE_DELAY_MS + 800);
    const whileRunning = readSettings(home);
    check(!whileRunning || !('filterState' in whileRunning),
      `no "filterState" before the window closes (settings: ${JSON.stringify(whileRunning && Object.keys(whileRunning))})`);

    const atClose = geometry(id);
    check((await callNative(page, 'windowClose')) === undefined, 'windowClose answers void');
    const exit = await app.ended();
    check(exit.code === 0, `closing the window quits the app cleanly (${JSON.stringify(exit)})`);
    await page.close();

    const saved = readSettings(home);
    check(Boolean(saved && saved.filterState && /^\d+\./.test(saved.filterState)),
      `closing saves "filterState" into ${settingsFile(home)}`);
    check(Boolean(saved && 'windowX' in saved && 'windowY' in saved && 'shouldMuteInput' in saved),
      `the framework's window and audio keys are saved too: ${JSON.stringify(saved && Object.keys(saved))}`);

    // Second start: everything comes back.
    app = startApp(home, env);
    page = await openPage(await app.page());
    const second = await initOf(page);
    const expected = { ...DEFAULTS, ...chosen };
    check(hasValues(second.params, expected), `the second start restores the parameters: ${JSON.stringify(second.params)}`);
    check(second.state === uiState, `the second start restores the UI state: ${JSON.stringify(second.state)}`);
    await sleep(500);   // the window styling is applied asynchronously after the window shows
    const reopened = geometry();
    check(reopened.width === atClose.width && reopened.height === atClose.height,
      `the second start opens at the size at closing: ${show(reopened)} vs ${show(atClose)}`);

    // "Reset to default state": the last entry of the options menu.
    const menu = await openOptionsMenu(page);
    if (menu) {
      const m = windowInfo(menu);
      grabScreen(path.join(artifacts, 'options-menu.png'));
      xdotool('mousemove', String(m.x + Math.floor(m.width / 2)), String(m.y + m.height - 12));
      await sleep(300);
      xdotool('click', '1');
      // The reset makes a new editor, whose page has a new address.
      const resetPage = await openPage(await app.page(2, 15000));
      const reset = await initOf(resetPage);
      check(hasValues(reset.params, DEFAULTS),
        `after the reset the thirteen parameters are at their defaults: ${JSON.stringify(reset.params)}`);
      check(reset.state === null || reset.state === undefined, 'after the reset there is no UI state');
      await sleep(SETTINGS_SAVE_DELAY_MS + 800);
      const afterReset = readSettings(home);
      check(Boolean(afterReset) && !('filterState' in afterReset),
        `after the reset the settings hold no "filterState": ${JSON.stringify(afterReset && Object.keys(afterReset))}`);
      await resetPage.close();
    }

    const { code } = await app.stop();
    check(code === 0, `the app quits on SIGINT (${code})`);
    const afterQuit = readSettings(home);
    check(Boolean(afterQuit) && !('filterState' in afterQuit), 'quitting without closing the window saved no "filterState"');
  } finally {
    rmSync(ui, { recursive: true, force: true });
    rmSync(home, { recursive: true, force: true });
  }
}

//==============================================================================
async function windowFunctions() {
  const ui = probeFolder();
  const home = mkdtempSync(path.join(tmpdir(), 'vistrel-standalone-home-'));
  const app = startApp(home, { VISTREL_NO_WEBVIEW: '1', VISTREL_UI_DIR: ui });

  try {
    const page = await openPage(await app.page());
    check((await callNative(page, 'windowCanDrag')) === true, 'windowCanDrag answers true in the standalone app');
    await sleep(500);   // the styling settles the window's size

    const g0 = geometry();
    const expectMove = async (label, dx, dy, want) => {
      await callNative(page, 'windowDragTo', dx, dy);
      const target = { ...g0, ...want };
      const got = await until(() => { const g = geometry(); return same(g, target) ? g : null; }, 3000);
      check(Boolean(got), `${label}: want ${show(target)}, have ${show(geometry())}`);
    };
    const expectStill = async (label, call) => {
      const before = geometry();
      await call();
      await sleep(400);
      check(same(geometry(), before), `${label}: the window stays at ${show(before)} (${show(geometry())})`);
    };

    await expectStill('windowDragTo before any windowDragStart', () => callNative(page, 'windowDragTo', 50, 50));

    check((await callNative(page, 'windowDragStart')) === undefined, 'windowDragStart answers void');
    await expectMove('a drag by (40, 25)', 40, 25, { x: g0.x + 40, y: g0.y + 25 });
    await expectMove('the same offset again stays put (offsets count from the start)', 40, 25, { x: g0.x + 40, y: g0.y + 25 });
    await expectMove('a fractional offset is truncated', -10.8, 5.9, { x: g0.x - 10, y: g0.y + 5 });
    await expectMove('far left keeps 120 pixels on the screen', -5000, 0, { x: 120 - g0.width, y: g0.y });
    await expectMove('far right keeps 120 pixels on the screen', 5000, 0, { x: SCREEN.width - 120, y: g0.y });
    await expectMove('far up stops at the top of the screen', 0, -5000, { x: g0.x, y: 0 });
    await expectMove('far down stops 60 pixels above the bottom', 0, 5000, { x: g0.x, y: SCREEN.height - 60 });
    await expectStill('windowDragTo with one argument', () => callNative(page, 'windowDragTo', -30));
    check((await callNative(page, 'windowDragEnd')) === undefined, 'windowDragEnd answers void');
    await expectStill('windowDragTo after windowDragEnd', () => callNative(page, 'windowDragTo', -30, -30));

    // Back to a known place, then full screen and back.
    await callNative(page, 'windowDragStart');
    const here = geometry();
    await expectMove('a drag back to the start', g0.x - here.x, g0.y - here.y, {});
    await callNative(page, 'windowDragEnd');
    check((await callNative(page, 'windowToggleMax')) === undefined, 'windowToggleMax answers void');
    const full = await until(() => { const g = geometry(); return g.width === SCREEN.width && g.height === SCREEN.height ? g : null; });
    check(Boolean(full), `windowToggleMax fills the screen (${show(geometry())})`);
    await callNative(page, 'windowToggleMax');
    const restored = await until(() => { const g = geometry(); return same(g, g0) ? g : null; });
    check(Boolean(restored), `windowToggleMax twice restores ${show(g0)} (${show(geometry())})`);

    // The options menu: a popup below the window's invisible options button.
    const menu = await openOptionsMenu(page);
    if (menu) {
      const m = windowInfo(menu);
      check(m.overrideRedirect, 'the new window is a popup (override-redirect), as JUCE shows menus');
      // Four entries and two separators of the default look-and-feel: taller than three entries.
      check(m.height > 3 * 20 && m.width > 100, `the menu has room for its four entries (${show(m)})`);
      grabScreen(path.join(artifacts, 'window-options-menu.png'));
      xdotool('key', 'Escape');
      const gone = await until(() => !mappedWindows().includes(menu), 3000);
      check(Boolean(gone), 'Escape closes the menu without choosing an entry');
    }

    // Closing: the answer reaches the page before the connection drops, and the state is saved.
    await callNative(page, 'setParam', 'hue', 123);
    await page.evaluate(() => { window.probe.timeline.length = 0; });
    check((await callNative(page, 'windowClose')) === undefined, 'windowClose answers void');
    const exit = await app.ended();
    check(exit.code === 0, `windowClose quits the app cleanly (${JSON.stringify(exit)})`);
    const timeline = await until(() => page.evaluate(() => window.probe.timeline.includes('disconnected') && window.probe.timeline), 5000);
    check(Array.isArray(timeline) && timeline.indexOf('answer windowClose') === 0
      && timeline.indexOf('disconnected') > 0, `the answer came before the window closed: ${JSON.stringify(timeline)}`);
    const saved = readSettings(home);
    check(Boolean(saved && saved.filterState), 'windowClose saved "filterState"');
  } finally {
    if (!app.hasExited()) await app.stop();
    rmSync(ui, { recursive: true, force: true });
    rmSync(home, { recursive: true, force: true });
  }
}

//==============================================================================
async function screenshot() {
  const home = mkdtempSync(path.join(tmpdir(), 'vistrel-standalone-home-'));

  // The probe page is one flat colour, so the margin and the grip can be told from the page.
  const probe = probeFolder();
  const shoot = async (uiDir, file, assertLayout) => {
    const app = startApp(home, { VISTREL_NO_WEBVIEW: '', VISTREL_UI_DIR: uiDir });
    try {
      const id = await until(() => { try { return appWindowId(); } catch { return null; } }, 30000);
      if (!id) throw new Error('no app window');
      await sleep(9000);   // WebKit starts its processes and paints the page
      const g = geometry(id);
      const pixel = grabScreen(path.join(artifacts, file));
      console.log(`screenshot ${path.join(artifacts, file)}: window ${show(g)}`);
      if (assertLayout) assertLayout(g, pixel);
    } finally {
      const { code } = await app.stop();
      check(code === 0, `the app quits on SIGINT (${code})`);
    }
  };

  try {
    await shoot(probe, 'standalone-probe.png', (g, pixel) => {
      const isPage = ([r, gr, b]) => Math.abs(r - 0x20) < 16 && Math.abs(gr - 0xb0) < 16 && Math.abs(b - 0x40) < 16;
      const isBlack = ([r, gr, b]) => r < 12 && gr < 12 && b < 12;
      // The editor fills the window's bottom; scan up from the bottom edge in the middle column.
      const midX = g.x + Math.floor(g.width / 2);
      let bottom = g.y + g.height - 1;
      while (bottom > g.y && !isBlack(pixel(midX, bottom))) bottom--;
      let pageBottom = bottom;
      while (pageBottom > g.y && isBlack(pixel(midX, pageBottom))) pageBottom--;
      // The window's own 4-pixel resize border is black as well, so the black runs 4 + 6 pixels.
      const margin = bottom - pageBottom;
      check(isPage(pixel(midX, pageBottom)), `the page shows inside the window (${pixel(midX, pageBottom)})`);
      check(margin === WINDOW_BORDER + 6, `a 6-pixel black margin under the page (${margin - WINDOW_BORDER})`);
      // Right margin, at mid height of the page.
      const midY = g.y + Math.floor(g.height / 2);
      let right = g.x + g.width - 1;
      while (right > g.x && !isBlack(pixel(right, midY))) right--;
      let pageRight = right;
      while (pageRight > g.x && isBlack(pixel(pageRight, midY))) pageRight--;
      check(right - pageRight === WINDOW_BORDER + 6 && isPage(pixel(pageRight, midY)),
        `a 6-pixel black margin right of the page (${right - pageRight - WINDOW_BORDER})`);
      // The grip: white at alpha 0x2E on black along the editor's corner diagonals, black between.
      const [editorRight, editorBottom] = [right - WINDOW_BORDER, bottom - WINDOW_BORDER];
      const faint = ([r, gr, b]) => r > 20 && r < 90 && Math.abs(r - gr) < 4 && Math.abs(gr - b) < 4;
      const diagonals = new Set();
      for (let y = editorBottom - 14; y <= editorBottom; y++) {
        for (let x = editorRight - 14; x <= editorRight; x++) {
          if (faint(pixel(x, y)) && x + y > editorRight + editorBottom - 14) diagonals.add(x + y);
        }
      }
      // Antialiasing may light a neighbouring diagonal; the three lines are 4 apart.
      const groups = [...diagonals].sort((a, b) => a - b).filter((d, i, all) => i === 0 || d - all[i - 1] > 1);
      check(groups.length === 3 && groups[1] - groups[0] === 4 && groups[2] - groups[1] === 4,
        `the corner grip shows three faint diagonal lines 4 pixels apart (diagonals ${[...diagonals]})`);
      check(isBlack(pixel(editorRight - 1, editorBottom - 20)) && isBlack(pixel(editorRight - 20, editorBottom - 1)),
        'nothing else is drawn in the margin');
    });
    await shoot(path.join(repo, 'ui'), 'standalone-window.png', null);
  } finally {
    rmSync(probe, { recursive: true, force: true });
    rmSync(home, { recursive: true, force: true });
  }
}

//==============================================================================
async function headless() {
  const home = mkdtempSync(path.join(tmpdir(), 'vistrel-standalone-home-'));
  const env = { ...process.env, HOME: home };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const child = spawn(appBinary, [], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.setEncoding('utf8').on('data', (c) => { output += c; });
  child.stderr.setEncoding('utf8').on('data', (c) => { output += c; });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  try {
    const early = await Promise.race([exited, sleep(4000).then(() => null)]);
    check(early === null, `without a display the app keeps running (${JSON.stringify(early)}; ${output.trim()})`);
    check(!/Vistrel page:/.test(output), 'without a display no editor is made');
    child.kill('SIGINT');
    const timer = setTimeout(() => child.kill('SIGKILL'), 15000);
    const result = await exited;
    clearTimeout(timer);
    check(result.code === 0, `and quits cleanly (${JSON.stringify(result)})`);
    const settings = readSettings(home);
    check(Boolean(settings && settings.shouldMuteInput === '1'), `the input stays muted by default: ${JSON.stringify(settings)}`);
  } finally {
    rmSync(home, { recursive: true, force: true });
  }
}

//==============================================================================
mkdirSync(artifacts, { recursive: true });
const modes = { state: stateAcrossStarts, window: windowFunctions, screenshot, headless };

try {
  if (!modes[mode]) throw new Error(`unknown mode ${mode}`);
  await modes[mode]();
} catch (error) {
  check(false, error.stack ?? String(error));
} finally {
  if (browser) await browser.close();
}

console.log(failures === 0 ? 'all checks passed' : `${failures} check(s) failed`);
process.exitCode = failures === 0 ? 0 : 1;
