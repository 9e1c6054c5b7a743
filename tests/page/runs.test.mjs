// What a run costs and how it is controlled: the cost list of both
// confirmations with the rows the user leaves out, the count in the hero, the
// "Стоп" button, and the reasons under a failed tweak's line.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { WARNING_SENTENCE, deliver, filledPage, launchBrowser, sentCommands, text, texts } from './harness.mjs';
import { SMALL_RECOMMENDED, smallDetails, smallInit } from './fixtures.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

const NAMES = new Map(smallInit().categories.flatMap((c) => c.tweaks.map((t) => [t.id, t.name])));

function modelPage(messages = [smallInit(), smallDetails()]) {
  return filledPage(browser, messages);
}

// The cost list as shown: each group's label, count and open state, and its rows.
const costList = (page) => page.$$eval('#confirm-costs .cost-group', (groups) => groups.map((g) => ({
  label: g.querySelector('.cost-head span:nth-child(2)').textContent,
  count: g.querySelector('.cost-count').textContent,
  open: g.querySelector('.cost-head').getAttribute('aria-expanded') === 'true' && !g.querySelector('.cost-rows').hidden,
  rows: [...g.querySelectorAll('.cost-row')].map((r) => [Number(r.dataset.id), r.querySelector('.tag.once') !== null, r.querySelector('.cost-why').textContent]),
})));

// Unticks (or ticks again) one row, opening its group first when it is closed.
async function toggleRow(page, id) {
  const head = `#confirm-costs .cost-group:has(.cost-row[data-id="${id}"]) .cost-head`;
  if ((await page.getAttribute(head, 'aria-expanded')) !== 'true') await page.click(head);
  await page.click(`#confirm-costs .cost-row[data-id="${id}"] input`);
}

async function selectInExpert(page, ids) {
  await page.click('#mode-switch button[data-mode="expert"]');
  await page.fill('#search', '');
  for (const id of ids) {
    await page.fill('#search', NAMES.get(id));
    await page.click(`#tweaks .tweak-item[data-id="${id}"] .tweak`);
  }
  await page.fill('#search', '');
}

const optimizeSent = async (page) => (await sentCommands(page)).filter((c) => c.cmd === 'optimize');

describe('the cost of a run', () => {
  test('both confirmations list the costs by group, the weakest protection first and open, reasons literal', async () => {
    const reason = (id) => smallDetails().tweaks[id].costText;
    const cases = [
      ['auto', [], [
        { label: 'Снижает защиту', count: '1', open: true, rows: [[1, false, reason(1)]] },
        { label: 'Удаляет без возврата', count: '2', open: false, rows: [[3, true, reason(3)], [5, true, reason(5)]] },
        { label: 'Может нарушить работу', count: '1', open: false, rows: [[7, false, reason(7)]] },
      ]],
      // Selection order within each group; a tweak that costs nothing but cannot be undone closes the list.
      ['expert', [8, 6, 4, 2, 1, 5], [
        { label: 'Снижает защиту', count: '2', open: true, rows: [[6, false, reason(6)], [1, false, reason(1)]] },
        { label: 'Удаляет без возврата', count: '1', open: false, rows: [[5, true, reason(5)]] },
        { label: 'Отключает функции', count: '1', open: false, rows: [[2, false, reason(2)]] },
        { label: 'Необратимо, но без потерь', count: '1', open: false, rows: [[4, false, reason(4)]] },
      ]],
      ['expert', [0, 8], []],
    ];
    for (const [kind, select, groups] of cases) {
      const { page, close } = await modelPage();
      if (kind === 'expert') await selectInExpert(page, select);
      await page.click(kind === 'auto' ? '#btn-auto' : '#btn-expert');
      assert.deepEqual(await costList(page), groups, `${kind} ${select}`);
      assert.equal(await page.$eval('#confirm-costs', (e) => e.hidden), groups.length === 0);
      assert.equal(await page.$$eval('#confirm-costs b', (e) => e.length), 0, 'markup in a reason stays text');
      await close();
    }
  });

  test('leaving rows out sends exactly the remaining ids; with none left out the ids are unchanged', async () => {
    const cases = [
      [[], SMALL_RECOMMENDED, 'Будет применено 5 оптимизаций. Некоторые требуют перезагрузки.'],
      [[5], [0, 1, 3, 7], 'Будет применено 4 оптимизаций. Пропущено: 1. Некоторые требуют перезагрузки.'],
      [[1, 7], [0, 3, 5], 'Будет применено 3 оптимизаций. Пропущено: 2. Некоторые требуют перезагрузки.'],
      [[5, 5], SMALL_RECOMMENDED, 'Будет применено 5 оптимизаций. Некоторые требуют перезагрузки.'],
    ];
    for (const [toggled, ids, sentence] of cases) {
      const { page, close } = await modelPage();
      await page.click('#btn-auto');
      for (const id of toggled) await toggleRow(page, id);
      assert.equal(await text(page, '#confirm-text'), sentence);
      const off = await page.$$eval('#confirm-costs .cost-row.off', (rs) => rs.map((r) => Number(r.dataset.id)));
      assert.deepEqual(off, SMALL_RECOMMENDED.filter((id) => !ids.includes(id)));
      await page.click('#confirm-ok');
      assert.deepEqual(await optimizeSent(page), [{ cmd: 'optimize', ids, skipApplied: true, restorePoint: true }], `left out ${toggled}`);
      await close();
    }
  });

  test('a confirmation opened before the details gets its cost list when they come', async () => {
    const { page, close } = await modelPage([smallInit()]);
    await page.click('#btn-auto');
    assert.equal(await page.$eval('#confirm-costs', (e) => e.hidden), true);
    await deliver(page, smallDetails());
    assert.deepEqual((await costList(page)).map((g) => g.label), ['Снижает защиту', 'Удаляет без возврата', 'Может нарушить работу']);
    await toggleRow(page, 1);
    await page.click('#confirm-ok');
    assert.deepEqual(await optimizeSent(page), [{ cmd: 'optimize', ids: [0, 3, 5, 7], skipApplied: true, restorePoint: true }]);
    await close();
  });

  test('what is left out holds for later confirmations in both views, is stored nowhere, and can leave nothing', async () => {
    const { page, close } = await modelPage();
    await page.click('#btn-auto');
    await toggleRow(page, 5);
    await toggleRow(page, 7);
    await page.click('#confirm [data-action="cancel"]');
    await page.click('#btn-auto');
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 3 оптимизаций. Пропущено: 2. Некоторые требуют перезагрузки.');
    await page.click('#confirm [data-action="cancel"]');

    // The expert view: tweak 7 stays out; the warning follows what remains.
    await selectInExpert(page, [7, 0]);
    await page.click('#btn-expert');
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 1 оптимизаций. Пропущено: 1.');
    await toggleRow(page, 7);
    assert.equal(await text(page, '#confirm-text'), 'Будет применено 2 оптимизаций.' + WARNING_SENTENCE);
    await toggleRow(page, 7);
    await page.click('#confirm-ok');
    assert.deepEqual(await optimizeSent(page), [{ cmd: 'optimize', ids: [0], skipApplied: true, restorePoint: true }]);
    await deliver(page, { type: 'done', ok: 1, err: 0 });

    // Only left-out tweaks selected: nothing to apply until one is ticked again.
    await page.click('.chip[data-select="none"]');
    await selectInExpert(page, [5]);
    await page.click('#btn-expert');
    assert.equal(await page.$eval('#confirm-ok', (b) => b.disabled), true);
    await toggleRow(page, 5);
    assert.equal(await page.$eval('#confirm-ok', (b) => b.disabled), false);
    await page.click('#confirm [data-action="cancel"]');

    assert.deepEqual(await page.evaluate(() => [localStorage.length, sessionStorage.length, document.cookie]), [0, 0, '']);
    await close();
  });

  test('the hero names how many recommended tweaks delete data or weaken protection', async () => {
    // A catalogue of `data` + `protection` + 1 recommended tweaks with those costs (the last costs nothing).
    const catalogue = (data, protection) => {
      const costs = [...Array(data).fill('data'), ...Array(protection).fill('protection'), 'none'];
      const tweaks = costs.map((cost, id) => ({ id, name: 'T' + id, recommended: true, warn: false }));
      return [smallInit({ categories: [{ key: 'misc', name: 'misc', tweaks }] }),
        { type: 'details', tweaks: costs.map((cost, id) => ({ id, cost, reversible: 'full', costText: 'x' })) }];
    };
    const cases = [
      [2, 1, 'Из них 2 удаляют данные без возврата, 1 снижает защиту. Перед запуском любой можно пропустить.'],
      [21, 11, 'Из них 21 удаляет данные без возврата, 11 снижают защиту. Перед запуском любой можно пропустить.'],
      [0, 3, 'Из них 3 снижают защиту. Перед запуском любой можно пропустить.'],
      [0, 0, null],
    ];
    for (const [data, protection, sentence] of cases) {
      const [init, details] = catalogue(data, protection);
      const { page, close } = await modelPage([init]);
      assert.equal(await page.$eval('#auto-cost', (e) => e.hidden), true, 'nothing before the details');
      await deliver(page, details);
      assert.equal(await page.$eval('#auto-cost', (e) => (e.hidden ? null : e.textContent)), sentence);
      await close();
    }
  });
});

describe('running', () => {
  test('"Стоп" shows in every view while a run is active and sends "cancel" once', async () => {
    const { page, close } = await modelPage();
    const stops = () => page.$$eval('[data-action="stop"]', (bs) => bs.map((b) => (b.hidden ? null : `${b.textContent}/${b.getAttribute('aria-disabled')}`)));
    assert.deepEqual(await stops(), [null, null, null]);
    await selectInExpert(page, [0]);
    await page.click('#mode-switch button[data-mode="auto"]');
    // Started from the keyboard: the focus moves from the run button to "Стоп".
    await page.focus('#btn-auto');
    await page.keyboard.press('Enter');
    await page.click('#confirm-ok');
    assert.deepEqual(await stops(), ['Стоп/false', 'Стоп/false', 'Стоп/false']);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'btn-stop-auto');

    await page.click('#btn-stop-auto');
    // Pressed again, in either view, while the run winds down: nothing more is sent.
    await page.$eval('#btn-stop-auto', (b) => b.click());
    await page.click('#mode-switch button[data-mode="expert"]');
    await page.$eval('#btn-stop-ex', (b) => b.click());
    assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'cancel'), [{ cmd: 'cancel' }]);
    assert.deepEqual(await stops(), ['Останавливаю…/true', 'Останавливаю…/true', 'Останавливаю…/true']);
    await page.focus('#btn-stop-ex');

    await deliver(page, { type: 'done', ok: 1, err: 0 });
    assert.deepEqual(await stops(), [null, null, null]);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'btn-expert', 'the focus goes back to the run button');
    await page.click('#btn-expert');
    await page.click('#confirm-ok');
    assert.deepEqual(await stops(), ['Стоп/false', 'Стоп/false', 'Стоп/false'], 'a new run can be stopped again');
    await close();
  });

  test('the error lines after "[FAIL] name" are set under it as its reasons', async () => {
    const { page, close } = await modelPage();
    const lines = [
      ['info', '[1/2] Disable CEIP'],
      ['err', '[FAIL] Disable CEIP'],
      ['err', 'Failed to set "CEIPEnable": <Access is denied.>'],
      ['err', 'timed out after 120 s'],
      ['info', '[2/2] Disable DiagTrack'],
      ['err', 'Could not start the run, please try again.'],
    ];
    for (const [level, line] of lines) await deliver(page, { type: 'log', level, text: line });
    const shown = await page.$$eval('#log-auto .log-line', (ls) => ls.map((l) => [l.className, l.lastChild.textContent]));
    assert.deepEqual(shown, [
      ['log-line info', lines[0][1]],
      ['log-line err', lines[1][1]],
      ['log-line err reason', lines[2][1]],
      ['log-line err reason', lines[3][1]],
      ['log-line info', lines[4][1]],
      ['log-line err', lines[5][1]],
    ]);
    assert.deepEqual(await texts(page, '#log-ex .log-line.reason'), await texts(page, '#log-auto .log-line.reason'));
    await close();
  });
});
