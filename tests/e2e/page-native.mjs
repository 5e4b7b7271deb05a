// The product's page (ui/) in Debian's Chromium against the real bridge: the e2e host runs the
// real processor and editor without an embedded browser, fed its 120 BPM pattern, and the page
// opens the address the editor prints. One host serves every test, in order; the host's line
// commands (E2EHost.cpp) play the part of the audio and of host automation, and its parameter
// report is what a host would record.
// Usage: node page-native.mjs <host binary>   (under Xvfb; CTest runs it as e2e.page_native)

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { launch, openPage, fingerprint, difference, dragSlider, ROOT } from '../page/support/harness.js';
import { startHost } from './host-process.js';

const hostBinary = process.argv[2];
let host, address, browser;

before(async () => {
  assert.ok(hostBinary, 'usage: node page-native.mjs <host binary>');
  host = startHost(hostBinary, { VISTREL_NO_WEBVIEW: '1', VISTREL_UI_DIR: path.join(ROOT, 'ui') });
  [, address] = await host.waitFor(/Vistrel page: (\S+)/, 60000);
  browser = await launch();
});

after(async () => {
  if (browser) await browser.close();
  if (host) {
    const { code, signal } = await host.stop();
    assert.equal(code, 0, `host exit (${code ?? signal})`);
  }
});

const mean = (f) => f.reduce((s, v) => s + v, 0) / f.length;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/** Opens the page at the host's address and waits until the bridge delivers frames. */
async function open() {
  const opened = await openPage(browser.context, address);
  await opened.page.waitForFunction(() => window.vistrel.framesSeen > 0, null, { timeout: 20000 });
  return opened;
}

/** Sets a parameter from the host side, as automation would. */
const hostSet = (id, v) => host.command(`set ${id} ${v}`, new RegExp(`set ${id} \\S+`));

/** Waits for the page to show scene `n` with its transition finished. */
const sceneShown = (page, n) => page.waitForFunction((s) => window.vistrel.engine.shown === s && window.vistrel.engine.trans >= 1,
  n, { timeout: 20000 });

/** Samples the picture until `done(samples)` holds or `ms` has passed; returns the samples. */
async function sample(page, done, ms, everyMs = 250) {
  const samples = [await fingerprint(page)];
  for (const end = Date.now() + ms; !done(samples) && Date.now() < end;) {
    await sleep(everyMs);
    samples.push(await fingerprint(page));
  }
  return samples;
}

test('real frames reach the page: the picture follows the audio and calms down in silence', async (t) => {
  await host.command('silent 0', /silent 0/);
  await hostSet('scene', 5);
  const { page, errors } = await open();
  await sceneShown(page, 5);

  // Frames keep coming and carry the analysis of the host's signal, tempo included.
  const seen = await page.evaluate(() => window.vistrel.framesSeen);
  const since = Date.now();
  await page.waitForFunction((n) => window.vistrel.framesSeen > n + 100, seen, { timeout: 30000 });
  const rate = (await page.evaluate(() => window.vistrel.framesSeen) - seen) / ((Date.now() - since) / 1000);
  await page.waitForFunction(() => window.vistrel.engine.frame.loud > 0.1 && window.vistrel.engine.frame.idle < 0.5,
    null, { timeout: 20000 });
  await page.waitForFunction(() => Math.abs(window.vistrel.engine.frame.bpm - 120) < 2, null, { timeout: 30000 });

  // A loaded machine may draw only a few pictures a second: sample the music for a while.
  const moved = (s) => Math.max(...s.map((f) => difference(s[0], f)));
  const loud = await sample(page, (s) => s.length >= 6 && moved(s) > 0.5, 10000);
  assert.ok(moved(loud) > 0.5, `the picture moves with the music (${moved(loud)})`);
  const loudLevel = loud.reduce((sum, f) => sum + mean(f), 0) / loud.length;

  await host.command('silent 1', /silent 1/);
  await page.waitForFunction(() => window.vistrel.engine.frame.idle > 0.6 && window.vistrel.engine.frame.loud < 0.05,
    null, { timeout: 20000 });
  const calm = (s) => s.length >= 2 && mean(s.at(-1)) < 0.6 * loudLevel && difference(s.at(-2), s.at(-1)) < 0.5;
  const quiet = await sample(page, calm, 20000, 500);
  const [a, b] = quiet.slice(-2);
  assert.ok(mean(b) < 0.6 * loudLevel, `silence dims the picture (${mean(b)} vs ${loudLevel})`);
  assert.ok(difference(a, b) < 0.5, `the picture settles (${difference(a, b)})`);
  t.diagnostic(`frames ${rate.toFixed(0)}/s; picture moved ${moved(loud).toFixed(2)}; mean level ${loudLevel.toFixed(1)} loud, ${mean(b).toFixed(1)} silent`);

  // The music comes back, and so does the picture.
  await host.command('silent 0', /silent 0/);
  await page.waitForFunction(() => window.vistrel.engine.frame.idle < 0.3, null, { timeout: 20000 });
  assert.deepEqual(errors, []);
});

test('a scene set by the host shows on screen and in the panel, and is not echoed back', async (t) => {
  await hostSet('scene', 1);
  const { page, errors } = await open();
  await sceneShown(page, 1);
  const before = await fingerprint(page);

  const mark = host.mark();
  await hostSet('scene', 12);
  await sceneShown(page, 12);
  const lit = await page.evaluate(() => [...document.querySelectorAll('.scene-btn.on')].map((b) => b.dataset.scene));
  assert.deepEqual(lit, ['12']);
  const after = await sample(page, (s) => difference(before, s.at(-1)) > 4, 10000);
  assert.ok(difference(before, after.at(-1)) > 4, `the picture changed (${difference(before, after.at(-1))})`);
  t.diagnostic(`scene 1 -> 12: picture difference ${difference(before, after.at(-1)).toFixed(1)}`);

  // The page follows automation; it must not write it back as an edit of its own.
  const echoed = host.linesSince(mark).filter((l) => / scene\b/.test(l) && !l.startsWith('set '));
  assert.deepEqual(echoed, []);
  assert.deepEqual(errors, []);
});

test('dragging a slider is one gesture for the host, ending where the page shows', async () => {
  await hostSet('react', 85);
  const { page, errors } = await open();
  await page.waitForFunction(() => window.vistrel.params.get('react') === 85, null, { timeout: 10000 });
  await page.keyboard.press('KeyB');
  await page.waitForFunction(() => document.body.classList.contains('panel-open'));
  await page.click('.tab-btn[data-tab=look]');

  const mark = host.mark();
  await dragSlider(page, 'react');
  await host.waitFor(/gesture-end react/, 10000, mark);

  const lines = host.linesSince(mark).filter((l) => / react\b/.test(l));
  const kinds = lines.map((l) => l.split(' ')[0]);
  assert.equal(kinds[0], 'gesture-begin', lines.join(' | '));
  assert.equal(kinds.at(-1), 'gesture-end', lines.join(' | '));
  assert.equal(kinds.filter((k) => k === 'gesture-begin').length, 1, lines.join(' | '));
  assert.equal(kinds.filter((k) => k === 'gesture-end').length, 1, lines.join(' | '));
  const values = lines.filter((l) => l.startsWith('param ')).map((l) => Number(l.split(' ')[2]));
  assert.equal(values.length, kinds.length - 2, 'nothing but values inside the gesture');
  assert.ok(values.length >= 5, `${values.length} values sent`);

  const final = values.at(-1);
  assert.ok(Math.abs(final - 60) <= 2, `ended near 60 % (${final})`);
  // The host's parameter snapshots must leave the slider where the drag left it: wait until the
  // page has taken one after its last edit.
  await page.waitForFunction(() => !window.vistrel.params.pending.has('react'), null, { timeout: 10000 });
  assert.equal(await page.evaluate(() => window.vistrel.params.get('react')), final);
  assert.equal(await page.textContent('.slider[data-param=react] .ctl-value'), `${final} %`);
  assert.deepEqual(errors, []);
});

test('UI state goes to the processor and comes back after a reload', async () => {
  const { page, errors } = await open();
  if (!(await page.evaluate(() => document.body.classList.contains('panel-open')))) await page.keyboard.press('KeyB');
  await page.click('.tab-btn[data-tab=audio]');
  await page.mouse.move(600, 300);
  await page.click('#btn-hud');

  // The page saves a short while after the last change; ask the host until it has the state.
  let stored = null;
  for (const end = Date.now() + 15000; Date.now() < end; await sleep(300)) {
    const [, text] = await host.command('ui-state', /ui-state (.*)\n/);
    try { stored = JSON.parse(text); } catch { stored = null; }
    if (stored && stored.panel === true && stored.hud === false && stored.panelTab === 'audio') break;
  }
  assert.deepEqual({ panel: stored?.panel, hud: stored?.hud, panelTab: stored?.panelTab },
    { panel: true, hud: false, panelTab: 'audio' });

  await page.reload();
  await page.waitForFunction(() => window.vistrel && window.vistrel.engine.frames > 5, null, { timeout: 20000 });
  await page.waitForFunction(() => document.body.classList.contains('panel-open') && document.body.classList.contains('hud-off'),
    null, { timeout: 10000 });
  assert.equal(await page.evaluate(() => document.querySelector('.tab.on').id), 'tab-audio');
  assert.deepEqual(errors, []);
});
