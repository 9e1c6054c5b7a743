// The "История" view and undo: past runs from the core's journal, what undo
// will not bring back, values changed since the run, and the note when the
// program runs without administrator rights. Then selection files: export and
// import through the core's one reader and writer, and their round trip.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync, mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { BRIDGE_SKIP, deliver, filledPage, launchBrowser, nativeInit, nativeMessages, sentCommands, text, texts } from './harness.mjs';
import { SMALL_RECOMMENDED, smallDetails, smallInit } from './fixtures.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

const tweak = (n, key, name, outcome, undoable, undone, extra = {}) =>
  ({ n, key, name, reversibility: 'full', outcome, undoable, undone, missed: [], lost: [], ...extra });
const CLEAR_TEMP_LOST = { family: 'clear-directory-contents', summary: 'Delete the contents of %TEMP%', wayBack: 'Deleted files come back only from a backup.' };
const PLAIN_LOST = { family: 'plain', summary: 'Its own commands', wayBack: '' };
const HISTORY = {
  type: 'history',
  perUser: false,
  damaged: false,
  runs: [
    { id: 'r2', start: '2025-06-14T10:30:00Z', kind: 'apply', restorePoint: true, tweaks: [
      tweak(0, 'k/0', 'Disable DiagTrack', 'ok', true, false),
      tweak(1, 'k/3', 'Clear temp files', 'ok', false, false, { reversibility: 'none', lost: [CLEAR_TEMP_LOST] }),
      tweak(2, 'k/7', '<b>Flagged</b> both ways', 'failed', true, false, { lost: [PLAIN_LOST], missed: ['HKLM\\X: access denied'] }),
      tweak(3, 'k/1', 'Disable CEIP', 'interrupted', true, true),
    ] },
    { id: 'u1', start: '2025-06-13T08:00:00Z', kind: 'undo', undoes: 'r1', restorePoint: false, tweaks: [
      tweak(0, 'k/2', 'Block telemetry hosts', 'ok', true, false, { undoes: 0 }),
    ] },
    { id: 'r1', start: '2025-06-12T07:05:00Z', kind: 'apply', restorePoint: false, tweaks: [
      tweak(0, 'k/2', 'Block telemetry hosts', 'ok', true, true),
    ] },
    { start: 'no id' },
  ],
};
// The page shows times in local time; node and Chromium share the zone.
const local = (iso) => {
  const d = new Date(iso);
  const two = (n) => String(n).padStart(2, '0');
  return `${two(d.getDate())}.${two(d.getMonth() + 1)}.${d.getFullYear()} ${two(d.getHours())}:${two(d.getMinutes())}`;
};

async function historyPage(init = smallInit(), history = HISTORY) {
  const opened = await filledPage(browser, [init, smallDetails()]);
  await opened.page.click('#mode-switch button[data-mode="history"]');
  if (history) await deliver(opened.page, history);
  return opened;
}

// The list as shown: each run's head, its tweaks (a box or not, checked, name,
// outcome, flag) and its buttons with their state.
const shownHistory = (page) => page.$$eval('#hist-list .hist-run', (runs) => runs.map((r) => ({
  id: r.dataset.run,
  head: [...r.querySelectorAll('.hist-run-head > *')].map((e) => e.textContent),
  tweaks: [...r.querySelectorAll('.hist-tweak')].map((t) => {
    const box = t.querySelector('input');
    return [t.dataset.key, box ? (box.disabled ? 'disabled' : box.checked ? 'checked' : 'box') : '-',
      t.querySelector('.hist-outcome').textContent, t.querySelector('.hist-flag')?.textContent ?? ''];
  }),
  buttons: [...r.querySelectorAll('.hist-actions button')].map((b) => [b.textContent, b.disabled]),
})));

const undoSent = async (page) => (await sentCommands(page)).filter((c) => c.cmd === 'undo');

// The confirmation's loss list: each tweak's key and the lines under it.
const losses = (page) => page.$$eval('#confirm-extra li.loss', (ls) => ls.map((l) => [l.dataset.key, l.querySelector('b').textContent,
  ...[...l.querySelectorAll('ul > li')].map((x) => x.textContent)]));

describe('history', () => {
  test('asked when the view is first shown and after each run; runs newest first with their tweaks and results', async () => {
    const { page, errors, close } = await historyPage(smallInit(), null);
    assert.equal(await text(page, '#hist-list'), 'загрузка…');
    await page.click('#mode-switch button[data-mode="auto"]');
    await page.click('#mode-switch button[data-mode="history"]');
    assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'history'), [{ cmd: 'history' }]);
    await deliver(page, { type: 'history', perUser: false, damaged: false, runs: [] });
    assert.equal(await text(page, '#hist-list'), 'Запусков пока не было.');
    await deliver(page, HISTORY);
    assert.deepEqual(await shownHistory(page), [
      { id: 'r2', head: [local('2025-06-14T10:30:00Z'), 'применение', 'точка восстановления', 'твиков: 4 · OK 2 · ошибки 1 · прервано 1'],
        tweaks: [['k/0', 'box', 'OK', ''], ['k/3', '-', 'OK', 'нечего отменять'], ['k/7', 'box', 'ошибка', ''], ['k/1', '-', 'прервано', 'отменено']],
        buttons: [['Отменить запуск', false], ['Отменить отмеченные (0)', true]] },
      { id: 'u1', head: [local('2025-06-13T08:00:00Z'), 'отмена запуска от ' + local('2025-06-12T07:05:00Z'), 'твиков: 1 · OK 1 · ошибки 0'],
        tweaks: [['k/2', '-', 'OK', '']], buttons: [] },
      { id: 'r1', head: [local('2025-06-12T07:05:00Z'), 'применение', 'твиков: 1 · OK 1 · ошибки 0'],
        tweaks: [['k/2', '-', 'OK', 'отменено']], buttons: [] },
    ]);
    assert.equal(await page.$$eval('#hist-list b', (b) => b.length), 0, 'names are text');
    // A run's end asks again; choices survive for tweaks that can still be undone.
    await page.click('.hist-run[data-run="r2"] .hist-tweak[data-key="k/7"] input');
    await deliver(page, { type: 'done', ok: 1, err: 0 });
    assert.equal((await sentCommands(page)).filter((c) => c.cmd === 'history').length, 2);
    await deliver(page, HISTORY);
    assert.deepEqual((await shownHistory(page))[0].buttons, [['Отменить запуск', false], ['Отменить отмеченные (1)', false]]);
    assert.deepEqual(errors, []);
    await close();
  });

  test('without administrator rights or with a per-user journal the view says what undo covers; damage is told', async () => {
    const cases = [
      [true, false, false, null],
      [false, false, false, 'Программа запущена без прав администратора: отмена вернёт только то, что мог изменить этот пользователь.'],
      [true, true, false, 'Программа запущена без прав администратора: отмена вернёт только то, что мог изменить этот пользователь.'],
      [true, false, true, 'В журнале есть нечитаемые строки: следующий запуск отложит файл и перенесёт читаемые запуски.'],
    ];
    for (const [admin, perUser, damaged, note] of cases) {
      const { page, close } = await historyPage(smallInit({ admin }), { ...HISTORY, perUser, damaged });
      assert.equal(await page.$eval('#hist-note', (n) => (n.hidden ? null : n.textContent)), note, `${admin} ${perUser} ${damaged}`);
      await page.click('.hist-run[data-run="r2"] [data-undo="all"]');
      assert.equal((await text(page, '#confirm-text')).endsWith(' отмена вернёт только то, что мог изменить этот пользователь.'), !admin || perUser);
      await close();
    }
  });

  test('undo of a run or of chosen tweaks lists what will not come back before it is confirmed', async () => {
    const cases = [
      ['all', [], 'Будет отменено твиков: 2.', [
        ['k/3', 'Clear temp files', 'Delete the contents of %TEMP% Deleted files come back only from a backup.', 'Ничего не записано: возвращать нечего.'],
        ['k/7', '<b>Flagged</b> both ways', 'Its own commands', 'Не записано: HKLM\\X: access denied'],
      ], { cmd: 'undo', run: 'r2' }],
      ['chosen', ['k/0'], 'Будет отменено твиков: 1.', [], { cmd: 'undo', run: 'r2', keys: ['k/0'] }],
      ['chosen', ['k/7', 'k/0'], 'Будет отменено твиков: 2.', [
        ['k/7', '<b>Flagged</b> both ways', 'Its own commands', 'Не записано: HKLM\\X: access denied'],
      ], { cmd: 'undo', run: 'r2', keys: ['k/0', 'k/7'] }],
    ];
    for (const [which, keys, count, lost, command] of cases) {
      for (const answer of ['ok', 'cancel']) {
        const { page, close } = await historyPage();
        for (const key of keys) await page.click(`.hist-run[data-run="r2"] .hist-tweak[data-key="${key}"] input`);
        await page.click(`.hist-run[data-run="r2"] [data-undo="${which}"]`);
        assert.equal(await text(page, '#confirm-title'), `Отменить запуск от ${local('2025-06-14T10:30:00Z')}?`);
        assert.equal(await text(page, '#confirm-text'), count + ' Программа вернёт значения, записанные перед запуском.');
        assert.deepEqual(await losses(page), lost);
        assert.equal(await page.$eval('#confirm-extra', (e) => e.hidden), lost.length === 0);
        assert.equal(await text(page, '#confirm-ok'), 'Отменить изменения');
        await page.click(answer === 'ok' ? '#confirm-ok' : '#confirm [data-action="cancel"]');
        assert.deepEqual(await undoSent(page), answer === 'ok' ? [command] : [], `${which} ${keys} ${answer}`);
        // While the core has not answered, nothing else can be undone.
        assert.equal(await page.$eval('.hist-run[data-run="r2"] [data-undo="all"]', (b) => b.disabled), answer === 'ok');
        await close();
      }
    }
  });

  test('an undo refused with a warning frees the view; a started one runs until "done", then state and history are asked', async () => {
    const { page, close } = await historyPage();
    const undoAll = async () => {
      await page.click('.hist-run[data-run="r2"] [data-undo="all"]');
      await page.click('#confirm-ok');
    };
    const disabled = () => page.$eval('.hist-run[data-run="r2"] [data-undo="all"]', (b) => b.disabled);
    await undoAll();
    await deliver(page, { type: 'log', level: 'warn', text: 'Nothing to undo.' });
    assert.equal(await disabled(), false);
    assert.equal(await page.$eval('#btn-auto', (b) => b.disabled), false);
    assert.equal((await texts(page, '#log-hist .log-line')).at(-1).slice(8), 'Nothing to undo.');

    await undoAll();
    await deliver(page, { type: 'log', level: 'info', text: 'Undoing 2 tweaks of the run of 2025-06-14T10:30:00Z...' });
    await deliver(page, { type: 'progress', cur: 0, max: 2, ok: 0, err: 0 });
    // Running: the run buttons wait, "Стоп" is offered here too, and a warning in the run does not free the view.
    assert.deepEqual([await disabled(), await page.$eval('#btn-auto', (b) => b.disabled)], [true, true]);
    assert.equal(await page.$eval('#btn-stop-hist', (b) => b.hidden), false);
    await deliver(page, { type: 'log', level: 'warn', text: 'Not recorded, so not put back: x' });
    assert.equal(await disabled(), true);
    const asked = (await sentCommands(page)).length;
    await deliver(page, { type: 'done', ok: 2, err: 0 });
    assert.deepEqual((await sentCommands(page)).slice(asked), [{ cmd: 'state' }, { cmd: 'history' }]);
    assert.equal(await disabled(), false);
    assert.equal(await page.$eval('#btn-stop-hist', (b) => b.hidden), true);
    await close();
  });

  test('values changed since the run: overwrite them, undo the rest only, or do nothing', async () => {
    const conflicts = { type: 'undo-conflicts', run: 'r2', conflicts: [
      { key: 'k/0', name: 'Disable DiagTrack', text: 'HKLM\\...\\AllowTelemetry is 1 now, the run left 0.' },
    ] };
    const cases = [
      ['all', 'ok', [{ cmd: 'undo', run: 'r2' }, { cmd: 'undo', run: 'r2', force: true }]],
      ['all', 'alt', [{ cmd: 'undo', run: 'r2' }, { cmd: 'undo', run: 'r2', keys: ['k/7'] }]],
      ['all', 'cancel', [{ cmd: 'undo', run: 'r2' }]],
      ['chosen', 'ok', [{ cmd: 'undo', run: 'r2', keys: ['k/0'] }, { cmd: 'undo', run: 'r2', keys: ['k/0'], force: true }]],
    ];
    for (const [which, answer, commands] of cases) {
      const { page, close } = await historyPage();
      if (which === 'chosen') await page.click('.hist-run[data-run="r2"] .hist-tweak[data-key="k/0"] input');
      await page.click(`.hist-run[data-run="r2"] [data-undo="${which}"]`);
      await page.click('#confirm-ok');
      await deliver(page, { ...conflicts, run: 'other' });
      assert.equal(await page.$eval('#confirm', (c) => c.classList.contains('show')), false, 'another run\'s conflicts are not this one\'s');
      await page.click(`.hist-run[data-run="r2"] [data-undo="${which}"]`);
      await page.click('#confirm-ok');
      await deliver(page, conflicts);
      assert.equal(await text(page, '#confirm-title'), 'Изменено после запуска');
      assert.deepEqual(await texts(page, '#confirm-extra li'), ['Disable DiagTrack HKLM\\...\\AllowTelemetry is 1 now, the run left 0.']);
      assert.equal(await text(page, '#confirm-ok'), 'Перезаписать');
      assert.equal(await page.$eval('#confirm-alt', (b) => (b.hidden ? null : b.textContent)), which === 'all' ? 'Отменить остальные (1)' : null);
      await page.click({ ok: '#confirm-ok', alt: '#confirm-alt', cancel: '#confirm [data-action="cancel"]' }[answer]);
      assert.deepEqual((await undoSent(page)).slice(1), commands, `${which} ${answer}`);
      await close();
    }
  });
});

describe('selection files', () => {
  test('export sends the view\'s selection in catalogue order and shows the core\'s text to copy', async () => {
    const file = '{"format":"quarnfeld-selection","version":1,"tweaks":[\n  "k/2",\n  "<b>k/5</b>"\n]}\n';
    const cases = [
      ['expert', [5, 2], [], [2, 5]],
      ['expert', [], [], []],
      ['auto', [], [5], SMALL_RECOMMENDED.filter((id) => id !== 5)],
    ];
    for (const [view, select, leftOut, ids] of cases) {
      const { page, context, close } = await filledPage(browser, [smallInit(), smallDetails()]);
      await context.grantPermissions(['clipboard-read', 'clipboard-write']);
      if (leftOut.length > 0) {
        await page.click('#btn-auto');
        for (const id of leftOut) {
          const head = `#confirm-costs .cost-group:has(.cost-row[data-id="${id}"]) .cost-head`;
          if ((await page.getAttribute(head, 'aria-expanded')) !== 'true') await page.click(head);
          await page.click(`#confirm-costs .cost-row[data-id="${id}"] input`);
        }
        await page.click('#confirm [data-action="cancel"]');
      }
      await page.click(`#mode-switch button[data-mode="${view}"]`);
      await page.evaluate((list) => {
        for (const id of list) toggleTweak(id);
      }, select);
      await page.click(`#view-${view} [data-action="export"]`);
      assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'export'), [{ cmd: 'export', ids }], `${view} ${select}`);
      await deliver(page, { type: 'export', text: file });
      assert.equal(await text(page, '#confirm-title'), 'Экспорт выборки');
      assert.equal(await text(page, '#export-text'), file);
      await page.click('#confirm-ok');
      assert.equal(await page.$eval('#confirm', (c) => c.classList.contains('show')), true, 'copying leaves the text shown');
      await page.waitForFunction(() => document.querySelector('#log-auto .log-line:last-child')?.textContent.endsWith('Выборка скопирована в буфер обмена.'));
      assert.equal(await page.evaluate(() => navigator.clipboard.readText()), file);
      assert.equal(await text(page, '#confirm [data-action="cancel"]'), 'Закрыть');
      await close();
    }
  });

  test('import hands the file to the core and selects exactly what it answers, naming every key it cannot take', async () => {
    const dir = mkdtempSync(path.join(tmpdir(), 'qf-import-'));
    const small = path.join(dir, 'small.json');
    writeFileSync(small, '{"format":"quarnfeld-selection","version":1,"tweaks":["k/2"]}');
    const huge = path.join(dir, 'huge.json');
    writeFileSync(huge, ' '.repeat(1024 * 1024 + 1));
    const cases = [
      [{ type: 'import', error: '', ids: [5, 2], unknown: ['no/such', 'x<y'], repeated: ['k/2'] }, [2, 5], [
        ['ok', 'Импорт: выбрано твиков: 2.'],
        ['warn', 'Импорт: неизвестные ключи не выбраны (2): no/such, x<y'],
        ['warn', 'Импорт: ключи повторяются в файле: k/2'],
      ]],
      [{ type: 'import', error: '', ids: [], unknown: [], repeated: [] }, [], [['ok', 'Импорт: выбрано твиков: 0.']]],
      [{ type: 'import', error: 'the file is not a JSON object', ids: [], unknown: [], repeated: [] }, [0, 1], [
        ['warn', 'Импорт не выполнен, выборка не изменилась: the file is not a JSON object.'],
      ]],
    ];
    for (const [answer, selection, logs] of cases) {
      const { page, close } = await filledPage(browser, [smallInit(), smallDetails()]);
      await page.evaluate(() => {
        toggleTweak(0);
        toggleTweak(1);
      });
      await page.setInputFiles('#import-file', small);
      await page.waitForFunction(() => window.__qf.sent.some((e) => e.data.includes('"import"')));
      assert.deepEqual((await sentCommands(page)).filter((c) => c.cmd === 'import'),
        [{ cmd: 'import', text: '{"format":"quarnfeld-selection","version":1,"tweaks":["k/2"]}' }]);
      const before = (await texts(page, '#log-auto .log-line')).length;
      await deliver(page, answer);
      assert.deepEqual(await page.evaluate(() => [...state.selection].sort((a, b) => a - b)), selection);
      assert.deepEqual(await page.$$eval('#log-auto .log-line', (ls, n) => ls.slice(n).map((l) => [l.className.split(' ')[1], l.textContent.slice(8)]), before), logs);
      // The imported selection is shown in the expert view.
      assert.equal(await page.$eval('#view-expert', (v) => v.classList.contains('active')), !answer.error);
      await close();
    }
    // A file larger than any selection is not sent.
    const { page, close } = await filledPage(browser, [smallInit(), smallDetails()]);
    await page.setInputFiles('#import-file', huge);
    await page.waitForFunction(() => document.querySelector('#log-auto .log-line'));
    assert.equal((await sentCommands(page)).filter((c) => c.cmd === 'import').length, 0);
    assert.equal((await texts(page, '#log-auto .log-line')).at(-1).slice(8), 'Импорт не выполнен, выборка не изменилась: файл huge.json больше 1024 КиБ.');
    await close();
  });

  test('round trip through the core: what is exported imports back as the same selection', { skip: BRIDGE_SKIP }, async () => {
    const init = await nativeInit();
    const all = init.categories.flatMap((c) => c.tweaks.map((t) => t.id));
    const dir = mkdtempSync(path.join(tmpdir(), 'qf-roundtrip-'));
    const cases = [[], [all[0]], [all.at(-1), 265, 3, all[0]], all.filter((id) => id % 3 === 0)];
    for (const chosen of cases) {
      const { page, close } = await filledPage(browser, [init]);
      await page.evaluate((ids) => {
        state.selection = new Set(ids);
        selectionChanged();
      }, chosen);
      await page.click('#mode-switch button[data-mode="expert"]');
      await page.click('#view-expert [data-action="export"]');
      const exportCommand = (await sentCommands(page)).find((c) => c.cmd === 'export');
      const exported = (await nativeMessages([exportCommand], ['export'])).export;
      await deliver(page, exported);
      const file = path.join(dir, 'selection.json');
      writeFileSync(file, await text(page, '#export-text'));
      await page.click('#confirm [data-action="cancel"]');
      await page.evaluate(() => selectNone());
      await page.setInputFiles('#import-file', file);
      await page.waitForFunction(() => window.__qf.sent.some((e) => e.data.includes('"import"')));
      const importCommand = (await sentCommands(page)).find((c) => c.cmd === 'import');
      await deliver(page, (await nativeMessages([importCommand], ['import'])).import);
      assert.deepEqual(await page.evaluate(() => [...state.selection].sort((a, b) => a - b)), [...chosen].sort((a, b) => a - b));
      await close();
    }
  });
});
