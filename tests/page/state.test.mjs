// What the machine already has: the state marks on the cards, the applied
// counts of the categories, the "не применено" filter, the hero's count, each
// step's state in the details panel, and the run options beside the run
// buttons with the question asked when no restore point could be made.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { deliver, filledPage, launchBrowser, sentCommands, text, texts } from './harness.mjs';
import { SMALL_RECOMMENDED, smallDetails, smallInit } from './fixtures.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

// One row of each state, rows the page must pass by, and id 8 with none.
const STATE = {
  type: 'state',
  tweaks: [
    [0, 'applied', 2, 2], [1, 'partly', 1, 3], [2, 'not-applied', 0, 1], [3, 'n/a', 0, 0], [4, 'unknown', 0, 1],
    [5, 'n/a', 0, 0], [6, 'applied', 1, 1], [7, 'not-applied', 0, 2], ['8', 'applied', 1, 1], [8, 'done', 1, 1], null,
  ],
};
// Each card's mark: [text, state, label], or null for no mark.
const MARKS = [
  ['✓', 'applied', 'Состояние: уже применено'],
  ['1/3', 'partly', 'Состояние: применено частично: 1 из 3'],
  ['○', 'not-applied', 'Состояние: не применено'],
  ['–', 'n/a', 'Состояние: не проверяется: шаги выполняются всегда'],
  ['?', 'unknown', 'Состояние: неизвестно'],
  ['–', 'n/a', 'Состояние: не проверяется: шаги выполняются всегда'],
  ['✓', 'applied', 'Состояние: уже применено'],
  ['○', 'not-applied', 'Состояние: не применено'],
  null,
];
const CATEGORY_OF = new Map(smallInit().categories.flatMap((c, i) => c.tweaks.map((t) => [t.id, i])));

async function expertPage(messages = [smallInit(), smallDetails()]) {
  const opened = await filledPage(browser, messages);
  await opened.page.click('#mode-switch button[data-mode="expert"]');
  return opened;
}

// Every card's mark, category by category.
async function allMarks(page) {
  const marks = [];
  for (const [id, cat] of CATEGORY_OF) {
    await page.click(`#nav-list .cat-item:nth-child(${cat + 1})`);
    marks[id] = await page.$eval(`#tweaks .tweak-item[data-id="${id}"] .tweak`, (card) => {
      const m = card.querySelector('.state-mark');
      return m ? [m.textContent, m.dataset.state, m.getAttribute('aria-label'), m.getAttribute('role')] : null;
    });
  }
  return marks;
}

const appliedCounts = (page) => page.$$eval('#nav-list .cat-item', (items) => items.map((i) => {
  const c = i.querySelector('.applied-count');
  return c ? [c.textContent, c.getAttribute('aria-label')] : null;
}));

describe('live state', () => {
  test('state is asked after each "init" and run; marks, counts, filter and hero follow each answer', async () => {
    const { page, errors, close } = await expertPage();
    assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'state'), [{ cmd: 'state' }]);
    assert.deepEqual(await allMarks(page), MARKS.map(() => null), 'no marks before the first answer');
    assert.equal(await page.$eval('.chip.filter[data-filter="notapplied"]', (c) => c.disabled), true);
    assert.equal(await page.$eval('#auto-state', (e) => e.hidden), true);

    await deliver(page, STATE);
    assert.deepEqual(await allMarks(page), MARKS.map((m) => (m ? [...m, 'img'] : null)));
    // Applied out of the tweaks whose state can be read; none shown where none can.
    assert.deepEqual(await appliedCounts(page), [
      ['✓ 1/3', 'применено 1 из 3'], null, ['✓ 1/2', 'применено 1 из 2'], null, null,
    ]);
    assert.deepEqual(await texts(page, '#nav-list .count'), ['0', '0', '0', '0', '0'], 'the selected counts stay');
    assert.equal(await text(page, '#auto-state'), 'Уже применено 1 из 5 рекомендованных: их пропущу.');

    // "не применено": not applied or applied in part, across the categories.
    await page.click('.chip.filter[data-filter="notapplied"]');
    const found = () => page.$$eval('#tweaks .tweak-item', (items) => items.map((i) => Number(i.dataset.id)));
    assert.deepEqual(await found(), [1, 2, 7]);

    // A run ends: the page asks again, and the filter's results follow the new answer.
    await deliver(page, { type: 'done', ok: 1, err: 0 });
    assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'state'), [{ cmd: 'state' }, { cmd: 'state' }]);
    await deliver(page, { type: 'state', tweaks: STATE.tweaks.map((r) => (Array.isArray(r) && r[0] === 1 ? [1, 'applied', 3, 3] : r)) });
    assert.deepEqual(await found(), [2, 7]);
    await page.click('.chip.filter[data-filter="notapplied"]');

    // Without the filter a new answer changes the marks in place: the cards stay the same elements.
    await page.click('#nav-list .cat-item:nth-child(1)');
    await page.$eval('#tweaks .tweak-item[data-id="2"]', (e) => { e.dataset.kept = 'yes'; });
    await deliver(page, { type: 'state', tweaks: [[2, 'applied', 1, 1], [0, 'partly', 1, 2]] });
    assert.deepEqual(await page.$$eval('#tweaks .tweak-item', (items) => items.map((i) => [
      i.dataset.kept || '', i.querySelector('.state-mark')?.textContent ?? null])), [['', '1/2'], ['', null], ['yes', '✓']]);
    assert.deepEqual(await appliedCounts(page), [['✓ 1/2', 'применено 1 из 2'], null, null, null, null]);
    assert.equal(await text(page, '#auto-state'), 'Уже применено 0 из 5 рекомендованных.');

    // A fresh "init" (a reloaded core) asks again.
    await deliver(page, smallInit());
    assert.equal((await sentCommands(page)).filter((c) => c.cmd === 'state' && c.id === undefined).length, 3);
    assert.deepEqual(errors, []);
    await close();
  });

  test('the details panel asks for the open tweak\'s steps and shows each with its reason, literally', async () => {
    const { page, close } = await expertPage();
    await deliver(page, STATE);
    await page.click('#tweaks .tweak-item[data-id="0"] .info');
    assert.deepEqual((await sentCommands(page)).at(-1), { cmd: 'state', id: 0 });
    assert.equal(await text(page, '#details-state'), 'Состояние: проверяю…');
    const steps = () => page.$$eval('#details-steps > li', (ls) => ls.map((l) => {
      const s = l.querySelector('.step-state');
      return s ? [s.dataset.state, s.textContent] : null;
    }));
    const cases = [
      // Another tweak's answer is not this one's.
      [{ type: 'stepstate', id: 1, state: 'applied', done: 1, total: 1, steps: [{ state: 'applied', reason: 'x' }] },
        'Состояние: проверяю…', [null, null]],
      [{ type: 'stepstate', id: 0, state: 'partly', done: 1, total: 2, steps: [
        { state: 'applied', reason: 'service DiagTrack is disabled' },
        { state: 'not-applied', reason: 'value AllowTelemetry is 3, the tweak sets <b>0</b>' }] },
      'Состояние: применено частично: 1 из 2',
      [['applied', 'применено: service DiagTrack is disabled'], ['not-applied', 'не применено: value AllowTelemetry is 3, the tweak sets <b>0</b>']]],
      // A step the answer does not cover shows nothing; an unknown word reads as unknown.
      [{ type: 'stepstate', id: 0, state: 'bogus', steps: [{ state: 'partly', reason: '' }] },
        'Состояние: неизвестно', [['unknown', 'неизвестно'], null]],
    ];
    for (const [msg, line, expected] of cases) {
      await deliver(page, msg);
      assert.equal(await text(page, '#details-state'), line);
      assert.deepEqual(await steps(page), expected, JSON.stringify(msg));
    }
    // A run's end refreshes the open panel's steps too.
    await deliver(page, { type: 'done', ok: 0, err: 0 });
    await deliver(page, STATE);
    assert.deepEqual((await sentCommands(page)).at(-1), { cmd: 'state', id: 0 });
    assert.equal(await page.$$eval('#details b', (b) => b.length), 0);
    await close();
  });
});

describe('run options', () => {
  test('both views send the options beside their buttons, the same in both, on by default', async () => {
    const cases = [
      [[], { skipApplied: true, restorePoint: true }],
      [['skipApplied'], { skipApplied: false, restorePoint: true }],
      [['restorePoint'], { skipApplied: true, restorePoint: false }],
      [['skipApplied', 'restorePoint'], { skipApplied: false, restorePoint: false }],
      [['skipApplied', 'skipApplied'], { skipApplied: true, restorePoint: true }],
    ];
    for (const [toggled, options] of cases) {
      for (const view of ['auto', 'expert']) {
        const { page, close } = await filledPage(browser, [smallInit(), smallDetails(), STATE]);
        // Toggled in the other view: the two sets of switches are one setting.
        const other = view === 'auto' ? 'expert' : 'auto';
        await page.click(`#mode-switch button[data-mode="${other}"]`);
        for (const option of toggled) await page.click(`#view-${other} input[data-option="${option}"]`);
        await page.click(`#mode-switch button[data-mode="${view}"]`);
        const shown = await page.$$eval(`#view-${view} input[data-option]`, (bs) => Object.fromEntries(bs.map((b) => [b.dataset.option, b.checked])));
        assert.deepEqual(shown, options, `${view} after ${toggled}`);
        if (view === 'expert') await page.click('#tweaks .tweak-item[data-id="2"] .tweak');
        await page.click(view === 'auto' ? '#btn-auto' : '#btn-expert');
        await page.click('#confirm-ok');
        const ids = view === 'auto' ? SMALL_RECOMMENDED : [2];
        assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'optimize'), [{ cmd: 'optimize', ids, ...options }]);
        if (view === 'auto') {
          assert.equal(await text(page, '#auto-state'), 'Уже применено 1 из 5 рекомендованных' + (options.skipApplied ? ': их пропущу.' : '.'));
        }
        await close();
      }
    }
  });

  test('no restore point: the page asks once, with the reason; yes sends the same run without one, no runs nothing', async () => {
    const recent = 'No new restore point: Windows makes one a day at most, and restore point 7 was made on 2025-06-14 10:30.';
    const cases = [
      ['recent', 'yes', 'Windows создаёт не больше одной точки в сутки, а последняя сделана недавно.'],
      ['protection-off', 'no', 'Защита системы выключена для системного диска. Включить её можно в «Свойствах системы» ' +
        '(SystemPropertiesProtection.exe): системный диск, «Настроить», «Включить защиту системы».'],
      ['something-new', 'yes', 'Windows не создала точку восстановления.'],
      ['created', null, null],
    ];
    for (const [reason, answer, sentence] of cases) {
      const { page, close } = await filledPage(browser, [smallInit(), smallDetails()]);
      await page.click('#view-auto input[data-option="skipApplied"]');
      await page.click('#btn-auto');
      await page.click('#confirm-ok');
      const first = { cmd: 'optimize', ids: SMALL_RECOMMENDED, skipApplied: false, restorePoint: true };
      const created = reason === 'created';
      await deliver(page, { type: 'restore-point', created, reason, text: created ? 'Restore point 8 made.' : recent });
      await deliver(page, { type: 'log', level: created ? 'ok' : 'warn', text: 'x' });
      assert.equal(await page.$eval('#confirm', (c) => c.classList.contains('show')), false, 'nothing is asked before "done"');
      if (created) {
        await deliver(page, { type: 'progress', cur: 5, max: 5, ok: 5, err: 0 });
      }
      await deliver(page, { type: 'done', ok: created ? 5 : 0, err: 0 });
      const lastLog = (await texts(page, '#log-auto .log-line')).at(-1).slice(8);
      if (created) {
        assert.equal(lastLog, 'Завершено: OK 5, Ошибки 0');
        assert.equal(await page.$eval('#confirm', (c) => c.classList.contains('show')), false);
        await close();
        continue;
      }
      assert.equal(lastLog, 'Ничего не запущено: точка восстановления не создана.');
      assert.equal(await text(page, '#confirm-title'), 'Точка восстановления не создана');
      assert.equal(await text(page, '#confirm-text'), sentence + ' Продолжить без неё?');
      assert.equal(await text(page, '#confirm-extra'), recent);
      assert.equal(await text(page, '#confirm-ok'), 'Продолжить без точки');
      assert.equal(await page.$eval('#confirm-costs', (e) => e.hidden), true);
      await page.click(answer === 'yes' ? '#confirm-ok' : '#confirm [data-action="cancel"]');
      const runs = (await sentCommands(page)).filter((c) => c.cmd === 'optimize');
      assert.deepEqual(runs, answer === 'yes' ? [first, { ...first, restorePoint: false }] : [first], reason);
      assert.equal(await page.$eval('#btn-auto', (b) => b.disabled), answer === 'yes');
      // Asked once: the run sent again makes no point, and its end asks nothing.
      await deliver(page, { type: 'done', ok: 5, err: 0 });
      assert.equal(await page.$eval('#confirm', (c) => c.classList.contains('show')), false);
      // The next confirmed run asks for a point again.
      await page.click('#btn-auto');
      assert.equal(await text(page, '#confirm-ok'), 'Применить');
      await close();
    }
  });
});
