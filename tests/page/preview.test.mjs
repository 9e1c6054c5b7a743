// The page opened on its own, as in a plain browser: it fills itself with its
// sample, asks nothing of the network, and lays itself out for each window
// width. Screenshots go to tests/artefacts/page/.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { deliver, hasClass, launchBrowser, openPage, screenshotPath, text, texts } from './harness.mjs';
import { smallInit } from './fixtures.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

async function previewPage(width, height = 860) {
  const opened = await openPage(browser, { bridge: false, width, height });
  await opened.page.waitForSelector('#splash', { state: 'detached' });
  return opened;
}

async function boxes(page, selectors) {
  return page.evaluate((list) => list.map((s) => document.querySelector(s).getBoundingClientRect().toJSON()), selectors);
}

// Waits until the view has finished coming in, so that screenshots and boxes are final.
async function settle(page) {
  await page.waitForFunction(() => document.getAnimations().every((a) => a.playState !== 'running' || a.effect.getTiming().iterations === Infinity));
}

async function toMode(page, mode) {
  await page.click(`#mode-switch button[data-mode="${mode}"]`);
  await settle(page);
}

const beside = (a, b) => a.right <= b.left + 1 && Math.abs(a.top - b.top) < 2;
const below = (a, b) => a.top >= b.bottom - 1;

describe('preview without a host', () => {
  test('fills itself with the sample after about 100 ms and the splash goes', async () => {
    const { page, outside, errors, consoleLines, close } = await openPage(browser, { bridge: false });
    await page.waitForFunction(() => document.getElementById('sys-os').textContent !== '—', null, { polling: 'raf' });
    const filledAt = await page.evaluate(() => performance.now());
    assert.ok(filledAt >= 100, `filled at ${filledAt} ms`);
    await page.waitForSelector('#splash', { state: 'detached', timeout: 3000 });
    assert.equal(await page.$('#splash-style'), null);
    assert.deepEqual(await texts(page, '.sys-val'), ['Windows 11 Pro', 'AMD Ryzen 7 7800X3D', 'NVIDIA RTX 4070', 'devuser', 'DEV-PC']);
    assert.equal(await text(page, '#user-name'), 'devuser');
    assert.equal(await hasClass(page, '#user-pill', 'warn'), false);
    assert.deepEqual(await texts(page, '#nav-list .cat-name'), ['Телеметрия', 'Очистка и кэши']);
    assert.deepEqual(await texts(page, '#tweaks .name'), ['Disable DiagTrack', 'Disable CEIP']);
    assert.equal(await text(page, '#auto-sub'), 'Одним кликом применю 3 рекомендованных твиков: телеметрия, службы, сеть, CPU/GPU, очистка.');
    assert.ok(consoleLines.some((l) => l.startsWith('[host.send]')), 'commands go to the console');

    // A confirmed run only reaches the console and stays running.
    await page.click('#btn-auto');
    await page.click('#confirm-ok');
    assert.equal(await text(page, '#btn-auto'), 'работаю…');
    assert.equal(consoleLines.filter((l) => l.startsWith('[host.send]')).length, 4, 'ready, details, state, optimize');

    // Nothing was asked of the outside.
    assert.deepEqual(outside, []);
    assert.deepEqual(errors, []);
    await close();
  });

  test('the splash covers the first paint, centred, above everything', async () => {
    const { page, close } = await openPage(browser);
    const splash = await page.$eval('#splash', (e) => {
      const r = e.getBoundingClientRect();
      const label = e.firstElementChild.getBoundingClientRect();
      const style = getComputedStyle(e);
      return { w: r.width, h: r.height, z: style.zIndex, bg: style.backgroundColor, cx: label.x + label.width / 2, cy: label.y + label.height / 2 };
    });
    assert.deepEqual([splash.w, splash.h, splash.z, splash.bg], [1280, 860, '999999', 'rgb(0, 0, 0)']);
    assert.ok(Math.abs(splash.cx - 640) < 20 && Math.abs(splash.cy - 430) < 2);
    assert.equal(await page.evaluate(() => document.elementFromPoint(640, 430).closest('#splash') !== null), true);
    await page.screenshot({ path: screenshotPath('1280x860-splash') });
    await close();
  });

  test('1280 × 860: both views side by side as designed', async () => {
    const { page, close } = await previewPage(1280);
    // A short run's worth of lines and counters, to show every log colour and the bars.
    await page.evaluate(() => {
      addLog('info', 'Running 3 tweaks...');
      addLog('info', '[1/3] Disable DiagTrack');
      addLog('ok', '[OK] Disable DiagTrack');
      addLog('info', '[2/3] Disable CEIP');
      addLog('err', '[FAIL] Disable CEIP');
      addLog('warn', 'Cancelled by user.');
      state.progress = { cur: 2, max: 3, ok: 1, err: 1 };
      renderProgress();
    });
    await settle(page);
    const [hero, sys, log, prog] = await boxes(page, ['.hero', '.sys', '#view-auto .log-panel', '.progress']);
    assert.ok(beside(hero, sys), 'hero and system card share a row');
    assert.ok(beside(log, prog), 'log and progress share a row');
    assert.ok(prog.width >= 280 && prog.width <= 340);
    assert.ok(sys.width >= 260);
    const view = (await boxes(page, ['#view-auto']))[0];
    assert.ok(hero.bottom <= view.bottom && prog.bottom <= view.bottom + 1, 'the auto view fits the window');
    await page.screenshot({ path: screenshotPath('1280x860-auto') });

    await toMode(page, 'expert');
    await page.click('#tweaks .tweak');
    await page.mouse.move(900, 500);
    const [cats, panel, actions, exLog, stats] = await boxes(page, ['.cats', '.panel', '.actions', '#view-expert .log-panel', '.stats']);
    assert.ok(beside(cats, panel));
    assert.ok(cats.width >= 200 && cats.width <= 240);
    assert.ok(beside(actions, exLog) && beside(exLog, stats), 'the footer has three cells in a row');
    assert.ok(below(actions, cats));
    const ex = (await boxes(page, ['#view-expert']))[0];
    assert.ok(stats.bottom <= ex.bottom + 1, 'the expert view fits the window');
    await page.screenshot({ path: screenshotPath('1280x860-expert') });
    await page.click('#btn-expert');
    await settle(page);
    await page.screenshot({ path: screenshotPath('1280x860-confirm') });
    await close();
  });

  test('880 × 860: the auto view stacks, the expert footer stacks, the category list stays beside the panel', async () => {
    const { page, close } = await previewPage(880);
    await settle(page);
    const [hero, sys, log, prog] = await boxes(page, ['.hero', '.sys', '#view-auto .log-panel', '.progress']);
    assert.ok(below(sys, hero) && below(log, sys) && below(prog, log), 'hero, system, log, progress in one column');
    assert.ok(Math.abs(hero.width - sys.width) < 1);
    await page.screenshot({ path: screenshotPath('880x860-auto') });
    await toMode(page, 'expert');
    const [cats, panel, actions, exLog, stats] = await boxes(page, ['.cats', '.panel', '.actions', '#view-expert .log-panel', '.stats']);
    assert.ok(beside(cats, panel));
    assert.ok(below(exLog, actions) && below(stats, exLog));
    await page.screenshot({ path: screenshotPath('880x860-expert') });
    await close();
  });

  test('780 × 860: the category list stacks above the panel', async () => {
    const { page, close } = await previewPage(780);
    await toMode(page, 'expert');
    const [cats, panel] = await boxes(page, ['.cats', '.panel']);
    assert.ok(below(panel, cats));
    assert.ok(panel.height >= 300, 'the panel keeps room for its cards');
    await page.screenshot({ path: screenshotPath('780x860-expert') });
    await toMode(page, 'auto');
    await page.screenshot({ path: screenshotPath('780x860-auto') });
    await close();
  });

  test('a long user name is cut at 46 % of the width, long system values at 62 % of their row', async () => {
    const { page, close } = await openPage(browser, { width: 1280 });
    const long = 'a-very-long-user-name-'.repeat(12);
    await deliver(page, smallInit({ admin: false, system: { os: long, cpu: long, gpu: 'g', user: long, host: 'h' } }));
    await page.waitForSelector('#splash', { state: 'detached' });
    const pill = await page.$eval('#user-pill', (p) => p.getBoundingClientRect().width);
    assert.ok(pill <= 1280 * 0.46 + 0.5, `pill ${pill}px`);
    assert.ok(await page.$eval('#user-name', (e) => e.scrollWidth > e.clientWidth && getComputedStyle(e).textOverflow === 'ellipsis'));
    const [row, value] = await boxes(page, ['.sys-row', '#sys-os']);
    assert.ok(value.width <= row.width * 0.62 + 0.5);
    assert.equal(await page.$eval('#sys-os', (e) => getComputedStyle(e).textOverflow), 'ellipsis');
    await page.screenshot({ path: screenshotPath('1280x860-long-names') });
    await close();
  });
});
