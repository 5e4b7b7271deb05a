// The page in headless Chromium against the stand-in bridge: audio moves the picture, host
// parameter changes show, a slider drag is one host gesture, UI state survives a reload, keys
// forwarded by the host work, and the standalone title bar drives the window calls.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { serve, launch, openPage, fingerprint, difference, dragSlider } from './support/harness.js';

let server, url, browser;
before(async () => { ({ server, url } = await serve()); browser = await launch(); });
after(async () => { await browser.close(); server.close(); });

async function fresh(query = '') {
  const { page, errors } = await openPage(browser.context, url, query);
  await page.evaluate(() => window.__fake.reset());
  await page.reload();
  await page.waitForFunction(() => window.vistrel && window.vistrel.engine.frames > 5);
  return { page, errors };
}

const wait = (page, ms) => page.waitForTimeout(ms);
const fakeLog = (page) => page.evaluate(() => window.__fake.log.map((e) => JSON.parse(JSON.stringify(e))));

test('the picture follows the audio and calms down in silence', async () => {
  const { page, errors } = await fresh();
  await page.evaluate(() => window.__fake.hostSet('scene', 5));
  await wait(page, 1200);
  const mean = (f) => f.reduce((s, v) => s + v, 0) / f.length;
  const loud = [await fingerprint(page)];
  // A loaded machine may draw only a few frames a second: sample the music a few times.
  let moved = 0;
  for (let i = 0; i < 10 && (moved <= 0.5 || loud.length < 5); i++) {
    await wait(page, 300);
    loud.push(await fingerprint(page));
    moved = Math.max(moved, difference(loud[0], loud.at(-1)));
  }
  assert.ok(moved > 0.5, `the picture moves with the music (${moved})`);
  const loudLevel = loud.reduce((s, f) => s + mean(f), 0) / loud.length;

  await page.evaluate(() => window.__fake.setSilent(true));
  await page.waitForFunction(() => document.body.classList.contains('idle'), null, { timeout: 10000 });
  await wait(page, 2000);
  const quiet = await fingerprint(page);
  await wait(page, 500);
  const stillQuiet = await fingerprint(page);
  assert.ok(mean(quiet) < 0.6 * loudLevel, `silence dims the picture (${mean(quiet)} vs ${loudLevel})`);
  assert.ok(difference(quiet, stillQuiet) < 0.5, `the picture settles (${difference(quiet, stillQuiet)})`);
  assert.deepEqual(errors, []);
});

test('a scene change from the host shows on screen and in the panel', async () => {
  const { page } = await fresh();
  await page.evaluate(() => window.__fake.hostSet('scene', 1));
  await wait(page, 1000);
  const before = await fingerprint(page);
  await page.evaluate(() => window.__fake.hostSet('scene', 12));
  await page.waitForFunction(() => window.vistrel.engine.shown === 12 && window.vistrel.engine.trans >= 1, null, { timeout: 10000 });
  await wait(page, 300);
  const afterFp = await fingerprint(page);
  assert.equal(await page.evaluate(() => document.querySelector('.scene-btn.on').dataset.scene), '12');
  assert.ok(difference(before, afterFp) > 4, `picture changed (${difference(before, afterFp)})`);
});

test('dragging a slider is one gesture on the host side', async () => {
  const { page } = await fresh();
  await page.keyboard.press('KeyB');
  await page.click('.tab-btn[data-tab=look]');
  await dragSlider(page, 'react');
  await wait(page, 300);
  const log = (await fakeLog(page)).filter((e) => e[1] === 'react');
  const begins = log.filter((e) => e[0] === 'gesture-begin'), ends = log.filter((e) => e[0] === 'gesture-end');
  const sets = log.filter((e) => e[0] === 'set');
  assert.equal(begins.length, 1);
  assert.equal(ends.length, 1);
  assert.ok(sets.length >= 5, `${sets.length} values sent`);
  assert.ok(sets.every((e) => e[3] === true), 'every value inside the gesture');
  const value = await page.evaluate(() => window.__fake.params.react);
  assert.ok(Math.abs(value - 60) <= 2, `ended near 60 % (${value})`);
  assert.equal(await page.textContent('.slider[data-param=react] .ctl-value'), `${value} %`);
});

test('UI state is saved and comes back after a reload', async () => {
  const { page } = await fresh();
  await page.keyboard.press('KeyB');
  await page.click('.tab-btn[data-tab=audio]');
  await page.mouse.move(600, 300);
  await page.click('#btn-hud');
  await wait(page, 800);
  const blob = JSON.parse(await page.evaluate(() => window.__fake.blob));
  assert.equal(blob.panel, true);
  assert.equal(blob.hud, false);
  assert.equal(blob.panelTab, 'audio');
  await page.reload();
  await page.waitForFunction(() => window.vistrel && window.vistrel.engine.frames > 5);
  await wait(page, 300);
  const cls = await page.evaluate(() => [...document.body.classList]);
  assert.ok(cls.includes('panel-open') && cls.includes('hud-off'), cls.join(' '));
  assert.equal(await page.evaluate(() => document.querySelector('.tab.on').id), 'tab-audio');
  const hello = (await fakeLog(page)).filter((e) => e[0] === 'event' && e[1] === 'uiHello');
  assert.ok(hello.length >= 1, 'announced with uiHello');
});

test('keys forwarded by the host drive the shortcuts', async () => {
  const { page } = await fresh();
  await page.evaluate(() => window.__fake.hostSet('scene', 3));
  await wait(page, 200);
  const press = (code) => page.evaluate((c) => window.__fake.key(c), code);
  await press('ArrowRight');
  await wait(page, 100);
  assert.equal(await page.evaluate(() => window.__fake.params.scene), 4);
  await press('Digit2'); await press('Digit7');
  await wait(page, 100);
  assert.equal(await page.evaluate(() => window.__fake.params.scene), 27);
  await press('KeyA');
  await wait(page, 100);
  assert.equal(await page.evaluate(() => window.__fake.params.autoPilot), 1);
  await press('Slash');
  assert.equal(await page.evaluate(() => document.body.classList.contains('help-open')), true);
  await press('Escape');
  assert.equal(await page.evaluate(() => document.body.classList.contains('help-open')), false);
  await press('KeyH');
  assert.equal(await page.evaluate(() => document.body.classList.contains('ui-hidden')), true);
});

test('the standalone title bar moves, maximises and closes the window', async () => {
  const { page } = await fresh('?standalone');
  await page.waitForFunction(() => document.body.classList.contains('standalone'));
  await page.mouse.move(300, 15);
  await page.mouse.down();
  await page.mouse.move(340, 35);
  await page.mouse.move(380, 55);
  await page.mouse.up();
  await page.mouse.dblclick(300, 15);
  await page.click('#tb-options');
  await page.click('#tb-close');
  const calls = (await fakeLog(page)).filter((e) => e[0] === 'call' && e[1].startsWith('window'));
  const names = calls.map((c) => c[1]);
  assert.ok(names.includes('windowDragStart') && names.includes('windowDragEnd'));
  const last = calls.filter((c) => c[1] === 'windowDragTo').at(-1);
  assert.deepEqual(last[2], [80, 40], 'offset since the drag began');
  for (const n of ['windowToggleMax', 'windowOptions', 'windowClose']) assert.ok(names.includes(n), n);
});

test('inside a host there is no title bar; Canvas 2D draws when WebGL2 is not used', async () => {
  const { page } = await fresh('?canvas');
  assert.equal(await page.evaluate(() => getComputedStyle(document.getElementById('titlebar')).display), 'none');
  assert.equal(await page.evaluate(() => window.vistrel.engine.g.kind), 'canvas2d');
  await page.evaluate(() => window.__fake.hostSet('scene', 1));
  await wait(page, 1000);
  const fp = await fingerprint(page);
  assert.ok(fp.filter((v) => v > 12).length > 3, 'something is drawn');
});
