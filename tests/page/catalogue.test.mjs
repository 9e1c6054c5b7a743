// The page filled by the native program's own "init" and "details" (the
// bridge's answers), so that what the page shows and sends is checked against
// the real catalogue rather than a copy of it.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  BRIDGE_SKIP,
  CATEGORY_LABELS,
  WARNING_SENTENCE,
  deliver,
  launchBrowser,
  nativeMessages,
  openPage,
  screenshotPath,
  sentCommands,
  text,
  texts,
} from './harness.mjs';

// The tweak whose details and script the screenshots show: one that weakens protection.
const ZONE_TWEAK = 'Disable saving of zone information in downloaded files';
const COST_ORDER = [['protection', 'Снижает защиту'], ['data', 'Удаляет без возврата'], ['feature', 'Отключает функции'],
  ['breaks', 'Может нарушить работу']];

let browser;
let init;
let details;
let zoneScript;
before(async () => {
  if (BRIDGE_SKIP) return;
  browser = await launchBrowser();
  ({ init, details } = await nativeMessages([{ cmd: 'details' }], ['init', 'details']));
  const zone = init.categories.flatMap((c) => c.tweaks).find((t) => t.name === ZONE_TWEAK);
  ({ script: zoneScript } = await nativeMessages([{ cmd: 'script', id: zone.id }], ['script']));
});
after(async () => {
  if (browser) await browser.close();
});

async function filledPage(options = {}) {
  const opened = await openPage(browser, options);
  await deliver(opened.page, init);
  await deliver(opened.page, details);
  await opened.page.waitForSelector('#splash', { state: 'detached' });
  return opened;
}

async function settle(page) {
  await page.mouse.move(1, 1);
  await page.waitForFunction(() => document.getAnimations().every((a) => a.playState !== 'running' || a.effect.getTiming().iterations === Infinity));
}

function allTweaks() {
  return init.categories.flatMap((c) => c.tweaks);
}

// Where a tweak id sits: its category's index and its card's index.
function locate(id) {
  for (const [ci, cat] of init.categories.entries()) {
    const ti = cat.tweaks.findIndex((t) => t.id === id);
    if (ti >= 0) return [ci, ti];
  }
  throw new Error(`no tweak ${id}`);
}

async function selectTweak(page, id) {
  const [ci, ti] = locate(id);
  await page.click(`#nav-list .cat-item:nth-child(${ci + 1})`);
  await page.click(`#tweaks .tweak-item:nth-child(${ti + 1}) .tweak`);
}

describe('the native catalogue', () => {
  test('fills 16 categories with their labels, counts, cards and tags', { skip: BRIDGE_SKIP }, async () => {
    assert.deepEqual(init.categories.map((c) => c.key), Object.keys(CATEGORY_LABELS));
    assert.deepEqual(allTweaks().map((t) => t.id), [...Array(421).keys()]);
    const recommended = allTweaks().filter((t) => t.recommended).length;
    assert.equal(recommended, 327);

    const { page, errors, close } = await filledPage();
    await page.click('#mode-switch button[data-mode="expert"]');
    assert.deepEqual(await texts(page, '#nav-list .cat-name'), Object.values(CATEGORY_LABELS));
    assert.deepEqual(await texts(page, '#nav-list .count'), Array(16).fill('0'));
    assert.equal(await text(page, '#auto-sub'),
      `Одним кликом применю ${recommended} рекомендованных твиков: телеметрия, службы, сеть, CPU/GPU, очистка.`);
    for (const [i, cat] of init.categories.entries()) {
      await page.click(`#nav-list .cat-item:nth-child(${i + 1})`);
      // The cards after the first batch come in the following frames.
      await page.waitForFunction((n) => document.querySelectorAll('#tweaks .tweak').length === n, cat.tweaks.length);
      assert.equal(await text(page, '#cat-title'), CATEGORY_LABELS[cat.key]);
      assert.equal(await text(page, '#master-sub'), `0 / ${cat.tweaks.length}`);
      const cards = await page.$$eval('#tweaks .tweak', (cs) => cs.map((c) => [
        c.querySelector('.name').textContent,
        [...c.querySelectorAll('.tag')].map((t) => t.textContent).join(' '),
      ]));
      const expected = cat.tweaks.map((t) => [t.name, [t.warn && 'warn', t.recommended && 'rec'].filter(Boolean).join(' ')]);
      assert.deepEqual(cards, expected, cat.key);
    }
    // The largest category, its cards selected, for the eye.
    await page.click('.chip[data-select="recommended"]');
    await page.screenshot({ path: screenshotPath('1280x860-expert-misc') });
    assert.deepEqual(errors, []);
    await close();
  });

  test('the recommended run lists its costs by class and, with nothing left out, sends the recommended ids', { skip: BRIDGE_SKIP }, async () => {
    const recommended = allTweaks().filter((t) => t.recommended).map((t) => t.id);
    const model = new Map(details.tweaks.map((d) => [d.id, d]));
    assert.deepEqual([...model.keys()].sort((a, b) => a - b), allTweaks().map((t) => t.id), 'one record for each tweak');
    const expected = COST_ORDER.map(([cost, label]) => [label, recommended.filter((id) => model.get(id).cost === cost)])
      .concat([['Необратимо, но без потерь', recommended.filter((id) => model.get(id).cost === 'none' && model.get(id).reversible === 'none')]])
      .filter(([, ids]) => ids.length > 0);
    for (const width of [1280, 780]) {
      const { page, close } = await filledPage({ width });
      await page.click('#mode-switch button[data-mode="expert"]');
      await selectTweak(page, allTweaks().find((t) => t.warn).id);
      await page.click('#mode-switch button[data-mode="auto"]');
      await settle(page);
      await page.screenshot({ path: screenshotPath(`${width}x860-auto-hero`) });
      await page.click('#btn-auto');
      assert.equal(await text(page, '#confirm-text'), 'Будет применено 327 оптимизаций. Некоторые требуют перезагрузки.');
      const groups = await page.$$eval('#confirm-costs .cost-group', (gs) => gs.map((g) => [
        g.querySelector('.cost-head span:nth-child(2)').textContent,
        [...g.querySelectorAll('.cost-row')].map((r) => Number(r.dataset.id)),
      ]));
      assert.deepEqual(groups, expected);
      await settle(page);
      await page.screenshot({ path: screenshotPath(`${width}x860-auto-confirm`) });
      await page.click('#confirm-ok');
      const optimize = (await sentCommands(page)).find((c) => c.cmd === 'optimize');
      assert.equal(optimize.cmd, 'optimize');
      assert.deepEqual(optimize.ids, recommended);
      assert.equal(optimize.ids.length, 327);
      await close();
    }
  });

  test('the details panel of a costly tweak, its script as the core sends it, and a search', { skip: BRIDGE_SKIP }, async () => {
    const [ci, ti] = locate(allTweaks().find((t) => t.name === ZONE_TWEAK).id);
    const zone = init.categories[ci].tweaks[ti];
    const model = details.tweaks.find((d) => d.id === zone.id);
    assert.equal(model.cost, 'protection');
    for (const width of [1280, 780]) {
      const { page, errors, close } = await filledPage({ width });
      await page.click('#mode-switch button[data-mode="expert"]');
      await page.fill('#search', 'zone');
      assert.ok((await texts(page, '#tweaks .tweak .name')).includes(ZONE_TWEAK));
      await settle(page);
      await page.screenshot({ path: screenshotPath(`${width}x860-search`) });
      await page.fill('#search', '');

      await page.click(`#nav-list .cat-item:nth-child(${ci + 1})`);
      await page.click(`#tweaks .tweak-item:nth-child(${ti + 1}) .info`);
      assert.equal(await text(page, '#details-name'), ZONE_TWEAK);
      assert.deepEqual([await text(page, '#details-cost-class'), await text(page, '#details-cost-text')], ['Снижает защиту', model.costText]);
      assert.equal(await page.$$eval('#details-steps li', (ls) => ls.length), model.steps.length);
      await settle(page);
      await page.screenshot({ path: screenshotPath(`${width}x860-details`) });
      await page.click('#tab-script');
      assert.deepEqual((await sentCommands(page)).at(-1), { cmd: 'script', id: zone.id });
      await deliver(page, zoneScript);
      assert.equal(await text(page, '#details-script'), zoneScript.text);
      await settle(page);
      await page.screenshot({ path: screenshotPath(`${width}x860-details-script`) });
      assert.deepEqual(errors, []);
      await close();
    }
  });

  test('tweaks 5 then 2 go out as [5, 2]; the warning sentence comes with a warn tweak only', { skip: BRIDGE_SKIP }, async () => {
    const { page, close } = await filledPage();
    await page.click('#mode-switch button[data-mode="expert"]');
    const quiet = allTweaks().filter((t) => !t.warn).map((t) => t.id);
    const risky = allTweaks().find((t) => t.warn).id;
    assert.ok(quiet.includes(5) && quiet.includes(2));
    await selectTweak(page, 5);
    await selectTweak(page, 2);
    await page.click('#btn-expert');
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 2 оптимизаций.');
    await page.click('#confirm [data-action="cancel"]');
    await selectTweak(page, risky);
    await page.click('#btn-expert');
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 3 оптимизаций.' + WARNING_SENTENCE);
    await page.click('#confirm [data-action="cancel"]');
    await selectTweak(page, risky);
    await page.click('#btn-expert');
    await page.click('#confirm-ok');
    assert.deepEqual((await sentCommands(page)).slice(2), [{ cmd: 'state' }, { cmd: 'optimize', ids: [5, 2], skipApplied: true, restorePoint: true }]);
    await close();
  });
});
