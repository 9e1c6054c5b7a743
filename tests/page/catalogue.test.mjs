// The page filled by the native program's own "init" (the bridge's answer to
// "ready"), so that what the page shows and sends is checked against the real
// catalogue rather than a copy of it.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  BRIDGE_SKIP,
  CATEGORY_LABELS,
  WARNING_SENTENCE,
  deliver,
  launchBrowser,
  nativeInit,
  openPage,
  screenshotPath,
  sentCommands,
  text,
  texts,
} from './harness.mjs';

let browser;
let init;
before(async () => {
  if (BRIDGE_SKIP) return;
  browser = await launchBrowser();
  init = await nativeInit();
});
after(async () => {
  if (browser) await browser.close();
});

async function filledPage() {
  const opened = await openPage(browser);
  await deliver(opened.page, init);
  await opened.page.waitForSelector('#splash', { state: 'detached' });
  return opened;
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

  test('the recommended run sends the recommended ids in catalogue order', { skip: BRIDGE_SKIP }, async () => {
    const { page, close } = await filledPage();
    await page.click('#mode-switch button[data-mode="expert"]');
    await selectTweak(page, allTweaks().find((t) => t.warn).id);
    await page.click('#mode-switch button[data-mode="auto"]');
    await page.click('#btn-auto');
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 327 оптимизаций. Некоторые требуют перезагрузки.');
    await page.click('#confirm-ok');
    const [, , optimize] = await sentCommands(page);
    assert.equal(optimize.cmd, 'optimize');
    assert.deepEqual(optimize.ids, allTweaks().filter((t) => t.recommended).map((t) => t.id));
    assert.equal(optimize.ids.length, 327);
    await close();
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
    assert.deepEqual((await sentCommands(page)).slice(2), [{ cmd: 'optimize', ids: [5, 2] }]);
    await close();
  });
});
