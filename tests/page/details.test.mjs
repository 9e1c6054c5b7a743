// What the page shows of each tweak beyond its name: the details panel, the
// tooltip, search and filters, and the cards as check boxes to the keyboard and
// to assistive technology.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { deliver, filledPage, hasClass, launchBrowser, openPage, sentCommands, text, texts } from './harness.mjs';
import { smallDetails, smallInit } from './fixtures.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

const NAMES = new Map(smallInit().categories.flatMap((c) => c.tweaks.map((t) => [t.id, t.name])));
const CATEGORY_OF = new Map(smallInit().categories.flatMap((c, i) => c.tweaks.map((t) => [t.id, i])));

async function expertPage(messages = [smallInit(), smallDetails()], options = {}) {
  const opened = await filledPage(browser, messages, options);
  await opened.page.click('#mode-switch button[data-mode="expert"]');
  return opened;
}

const item = (id) => `#tweaks .tweak-item[data-id="${id}"]`;

async function showCategoryOf(page, id) {
  await page.click(`#nav-list .cat-item:nth-child(${CATEGORY_OF.get(id) + 1})`);
}

async function openDetails(page, id) {
  await showCategoryOf(page, id);
  await page.click(`${item(id)} .info`);
  await page.waitForSelector('#details.show');
}

const focusedInfoId = (page) => page.evaluate(() => {
  const el = document.activeElement;
  return el && el.classList.contains('info') ? Number(el.closest('.tweak-item').dataset.id) : null;
});

const commandsOf = async (page, cmd) => (await sentCommands(page)).filter((c) => c.cmd === cmd);

describe('details', () => {
  test('"details" is asked once, after the first "init" that carries the catalogue', async () => {
    const { page, close } = await openPage(browser);
    await deliver(page, { type: 'init' });
    assert.deepEqual(await sentCommands(page), [{ cmd: 'ready' }]);
    await deliver(page, smallInit());
    await deliver(page, smallInit());
    assert.deepEqual(await sentCommands(page), [{ cmd: 'ready' }, { cmd: 'details' }, { cmd: 'state' }, { cmd: 'state' }]);
    await close();
  });

  test('the panel opens from the info control by mouse and keyboard and closes four ways; selection unchanged', async () => {
    const { page, errors, close } = await expertPage();
    const ways = [['mouse', 'close button'], ['keyboard', 'Escape'], ['mouse', 'backdrop'], ['keyboard', 'close button']];
    for (const [open, shut] of ways) {
      if (open === 'mouse') {
        await page.click(`${item(1)} .info`);
      } else {
        // From the card, Tab reaches its info control; Enter opens it.
        await page.focus(`${item(1)} .tweak`);
        await page.keyboard.press('Tab');
        assert.equal(await focusedInfoId(page), 1);
        await page.keyboard.press('Enter');
      }
      assert.ok(await hasClass(page, '#details', 'show'), `${open} opens`);
      assert.equal(await text(page, '#details-name'), 'Disable CEIP');
      assert.equal(await page.evaluate(() => document.querySelector('.app').inert), true, 'the page behind is inert');
      assert.equal(await page.evaluate(() => document.activeElement.closest('#details') !== null), true, 'focus is in the panel');
      if (shut === 'close button') await page.click('#details [data-action="close-details"]');
      else if (shut === 'Escape') await page.keyboard.press('Escape');
      else await page.mouse.click(40, 400);
      assert.equal(await hasClass(page, '#details', 'show'), false, `${shut} closes`);
      assert.equal(await page.evaluate(() => document.querySelector('.app').inert), false);
      assert.equal(await focusedInfoId(page), 1, 'the focus returns to the info control');
    }
    assert.deepEqual(await page.evaluate(() => [...state.selection]), []);
    assert.deepEqual(await texts(page, '#tweaks .tweak[aria-checked="true"] .name'), []);
    assert.deepEqual(errors, []);
    await close();
  });

  test('the panel names the category, cost, undo, description, documents and steps, literally', async () => {
    const { page, close } = await expertPage();
    const cases = [
      {
        id: 0,
        meta: ['Телеметрия', 'rec'],
        cost: ['none', 'Без потерь', 'Отключает только отправку данных.'],
        undo: 'Можно отменить вручную: каждое изменение обратимо.',
        docs: ['Configure Windows diagnostic data', '<i>Markup</i> in a title'],
        steps: ['Set the start type of DiagTrack to disabled|disable-service', 'Set AllowTelemetry to 0|set-registry-value'],
      },
      {
        id: 5,
        meta: ['Очистка и кэши', 'rec'],
        cost: ['data', 'Удаляет без возврата', '<b>Корзина</b> & «всё» будет очищено.'],
        undo: 'Нельзя отменить: изменения необратимы.',
        docs: null,
        steps: null,
      },
      {
        id: 7,
        meta: ['Разное', 'warn', 'rec'],
        cost: ['breaks', 'Может нарушить работу', 'Может нарушить: пример.'],
        undo: 'Отменить можно лишь частично: часть шагов необратима.',
        docs: null,
        steps: null,
      },
    ];
    for (const c of cases) {
      await openDetails(page, c.id);
      assert.deepEqual(await texts(page, '#details-meta > *'), c.meta);
      assert.deepEqual([await page.$eval('#details-cost', (e) => e.dataset.cost), await text(page, '#details-cost-class'),
        await text(page, '#details-cost-text')], c.cost);
      assert.equal(await text(page, '#details-undo'), c.undo);
      assert.equal(await text(page, '#details-desc'), smallDetails().tweaks[c.id].description);
      for (const [part, list, expected] of [['docs', '#details-docs li', c.docs], ['steps', '#details-steps li', c.steps]]) {
        const hidden = await page.$eval(`#details-${part}-part`, (e) => e.hidden);
        assert.equal(hidden, expected === null, `${part} shown only when there are any`);
        if (expected) {
          const shown = await page.$$eval(list, (ls) => ls.map((l) => [...l.childNodes].map((n) => n.textContent).join('|')));
          assert.deepEqual(shown, expected);
        }
      }
      await page.keyboard.press('Escape');
    }
    assert.equal(await page.$$eval('#details b, #details i', (e) => e.length), 0);
    await close();
  });

  test('the script tab asks once per tweak and shows the body literally, monospace, selectable and copyable', async () => {
    const { page, context, close } = await expertPage();
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const body = '@echo off\r\nreg add "HKLM\\Software\\X" /v <b>Name</b> /d "&amp;" /f\r\n';
    await openDetails(page, 0);
    await page.click('#tab-script');
    assert.deepEqual(await commandsOf(page, 'script'), [{ cmd: 'script', id: 0 }]);
    assert.equal(await text(page, '#details-script'), 'загрузка…');
    await deliver(page, { type: 'script', id: 1, text: 'another tweak' });
    assert.equal(await text(page, '#details-script'), 'загрузка…', 'an answer for another tweak is not shown');
    await deliver(page, { type: 'script', id: 0, text: body });
    assert.equal(await text(page, '#details-script'), body);
    assert.equal(await page.$$eval('#details-script *', (e) => e.length), 0);
    const style = await page.$eval('#details-script', (e) => [getComputedStyle(e).fontFamily, getComputedStyle(e).userSelect]);
    assert.match(style[0], /JetBrains Mono.*monospace/);
    assert.equal(style[1], 'text');
    await page.click('#copy-script');
    await page.waitForFunction(() => document.getElementById('copy-state').textContent !== '');
    assert.equal(await text(page, '#copy-state'), 'скопировано');
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), body);

    await page.click('#details [data-action="close-details"]');
    await openDetails(page, 0);
    await page.click('#tab-script');
    assert.equal(await text(page, '#details-script'), body, 'kept from the first answer');
    assert.equal((await commandsOf(page, 'script')).length, 1);
    await close();
  });

  test('the output tab asks each time it is shown and after a run, and shows the text literally', async () => {
    const { page, close } = await expertPage();
    await openDetails(page, 0);
    await page.click('#tab-output');
    assert.deepEqual(await commandsOf(page, 'output'), [{ cmd: 'output', id: 0 }]);
    assert.equal(await text(page, '#details-output'), 'загрузка…');
    const output = 'Removing <script>alert(1)</script> & more\r\nFailed to set "X": Access is denied.\n';
    await deliver(page, { type: 'output', id: 0, text: output });
    assert.equal(await text(page, '#details-output'), output);
    assert.equal(await page.$$eval('#details-output *', (e) => e.length), 0);

    await page.click('#tab-about');
    await page.click('#tab-output');
    await deliver(page, { type: 'output', id: 0, text: '' });
    assert.equal(await text(page, '#details-output'), 'Вывода нет: в этом сеансе твик не запускался или ничего не напечатал.');
    await deliver(page, { type: 'done', ok: 1, err: 0 });
    assert.equal((await commandsOf(page, 'output')).length, 3, 'asked again when a run ends');
    await close();
  });

  test('the tooltip is the first sentence of the description, cut when long; the name without details', async () => {
    const long = smallDetails();
    long.tweaks[2].description = 'Blocks ' + 'many endpoints '.repeat(30) + 'in the hosts file. A second sentence.';
    const withLong = await expertPage([smallInit(), long]);
    const bare = await expertPage([smallInit()]);
    const tooltipOf = async (page, id) => {
      await page.mouse.move(5, 5);
      await showCategoryOf(page, id);
      await page.hover(`${item(id)} .tweak`);
      return text(page, '#tooltip');
    };
    assert.equal(await tooltipOf(withLong.page, 0), 'Stops the telemetry service.');
    assert.equal(await tooltipOf(withLong.page, 8), 'A quarnfeld sample entry, e.g. for tests.');
    const cut = await tooltipOf(withLong.page, 2);
    assert.ok(cut.endsWith('…') && cut.length <= 241 && long.tweaks[2].description.startsWith(cut.slice(0, -1)), cut);
    assert.equal(await tooltipOf(bare.page, 0), 'Disable DiagTrack');
    await withLong.close();
    await bare.close();
  });
});

describe('search and filters', () => {
  // What the panel shows: group headings with their counts, and the cards' names.
  const shown = (page) => page.$$eval('#tweaks > *', (els) => els.map((e) =>
    e.classList.contains('result-group') ? `# ${e.firstChild.textContent} ${e.lastChild.textContent}`
      : e.classList.contains('tweak-item') ? e.querySelector('.name').textContent : e.textContent));

  test('search finds by name and description across categories, grouped, highlighted, case-insensitive', async () => {
    const { page, close } = await expertPage();
    const cases = [
      ['disable', ['# Телеметрия 2', 'Disable DiagTrack', 'Disable CEIP', '# Разное 1', 'Disable CPU mitigations'], ['Disable']],
      ['DIAGTRACK', ['# Телеметрия 1', 'Disable DiagTrack'], ['DiagTrack']],
      ['quarnfeld', ['# Extra name 1', 'Unlisted tweak'], ['quarnfeld']],
      ['zone mark', ['# Телеметрия 1', 'Disable CEIP'], ['zone', 'mark']],
      ['zone nothing', ['Ничего не найдено.'], []],
    ];
    for (const [query, expected, marks] of cases) {
      await page.fill('#search', query);
      assert.deepEqual(await shown(page), expected, query);
      assert.deepEqual([...new Set(await texts(page, '#tweaks mark'))], marks, query);
      assert.equal(await text(page, '#cat-title'), 'Найдено: ' + expected.filter((e) => !e.startsWith('#') && !e.endsWith('.')).length);
      assert.equal(await page.$eval('#master', (m) => m.hidden), true);
    }
    // A description match shows where it matched, literally.
    await page.fill('#search', 'quarnfeld');
    assert.equal(await text(page, '#tweaks .snip'), 'A quarnfeld sample entry, e.g. for tests. Its second sentence.');
    await close();
  });

  test('results are selected in place; Esc and a category row clear the search', async () => {
    const { page, close } = await expertPage();
    await page.fill('#search', 'disable');
    await page.click(`${item(6)} .tweak`);
    assert.deepEqual(await page.evaluate(() => [...state.selection]), [6]);
    assert.deepEqual(await texts(page, '#tweaks .tweak.on .name'), ['Disable CPU mitigations']);
    assert.equal(await page.inputValue('#search'), 'disable', 'the results stay');
    assert.deepEqual(await texts(page, '#nav-list .count'), ['0', '0', '1', '0', '0']);
    assert.equal(await text(page, '#btn-expert-label'), '▸ оптимизировать (1)');

    await page.focus('#search');
    await page.keyboard.press('Escape');
    assert.equal(await page.inputValue('#search'), '');
    assert.equal(await text(page, '#cat-title'), 'Телеметрия');
    assert.equal(await page.$eval('#master', (m) => m.hidden), false);

    await page.fill('#search', 'disable');
    await page.click('#nav-list .cat-item:nth-child(2)');
    assert.equal(await page.inputValue('#search'), '');
    assert.equal(await text(page, '#cat-title'), 'Очистка и кэши');
    await close();
  });

  test('filters: recommended, warn, cannot be undone, without loss; with each other and with a search', async () => {
    const { page, close } = await expertPage();
    const cases = [
      [['recommended'], '', [0, 1, 3, 5, 7]],
      [['warn'], '', [2, 6, 7]],
      [['irreversible'], '', [3, 4, 5]],
      [['nocost'], '', [0, 4, 8]],
      [['recommended', 'nocost'], '', [0]],
      [['warn'], 'disable', [6]],
    ];
    for (const [filters, query, ids] of cases) {
      await page.fill('#search', query);
      for (const f of filters) await page.click(`.chip.filter[data-filter="${f}"]`);
      const pressed = await page.$$eval('.chip.filter', (cs) => cs.filter((c) => c.getAttribute('aria-pressed') === 'true').map((c) => c.dataset.filter));
      assert.deepEqual(pressed.sort(), [...filters].sort());
      assert.deepEqual(await texts(page, '#tweaks .tweak .name'), ids.map((id) => NAMES.get(id)), filters.join('+') + ' ' + query);
      for (const f of filters) await page.click(`.chip.filter[data-filter="${f}"]`);
    }
    await page.fill('#search', '');
    assert.equal(await text(page, '#cat-title'), 'Телеметрия', 'no filter, no search: the category again');

    // The two filters that need the tweak model wait for it; "не применено" waits for the state.
    const early = await expertPage([smallInit()]);
    assert.deepEqual(await early.page.$$eval('.chip.filter', (cs) => cs.map((c) => c.disabled)), [false, false, true, true, true]);
    await deliver(early.page, smallDetails());
    assert.deepEqual(await early.page.$$eval('.chip.filter', (cs) => cs.map((c) => c.disabled)), [false, false, false, false, true]);
    await early.close();
    await close();
  });
});

describe('keyboard and assistive technology', () => {
  test('cards are check boxes with their state; Space toggles and the focus stays on the card', async () => {
    const { page, close } = await expertPage();
    const ceip = page.getByRole('checkbox', { name: /^Disable CEIP/ });
    assert.equal(await ceip.getAttribute('aria-checked'), 'false');
    await ceip.focus();
    await page.keyboard.press('Space');
    assert.equal(await page.getByRole('checkbox', { name: /^Disable CEIP/, checked: true }).count(), 1);
    assert.deepEqual(await page.evaluate(() => [...state.selection]), [1]);
    assert.equal(await page.evaluate(() => document.activeElement.closest('.tweak-item').dataset.id), '1', 'focus kept across the re-render');
    const master = page.getByRole('checkbox', { name: /Включить все/ });
    assert.equal(await master.getAttribute('aria-checked'), 'mixed');
    await page.keyboard.press('Space');
    assert.deepEqual(await page.evaluate(() => [...state.selection]), []);
    // The info control is a button of its own beside the card, named after the tweak.
    assert.equal(await page.getByRole('button', { name: 'Подробнее: Disable CEIP' }).count(), 1);
    await master.focus();
    await page.keyboard.press('Space');
    assert.equal(await master.getAttribute('aria-checked'), 'true');
    // Category rows are buttons: Enter opens one.
    await page.getByRole('button', { name: /^Разное/ }).focus();
    await page.keyboard.press('Enter');
    assert.equal(await text(page, '#cat-title'), 'Разное');
    await close();
  });

  test('a long category arrives whole after its first batch; a toggle keeps the scroll position and the focus', async () => {
    const tweaks = Array.from({ length: 130 }, (_, i) => ({ id: i, name: 'Tweak ' + i, recommended: false, warn: false }));
    const { page, close } = await expertPage([smallInit({ categories: [{ key: 'misc', name: 'misc', tweaks }] })]);
    await page.waitForFunction(() => document.querySelectorAll('#tweaks .tweak').length === 130);
    assert.deepEqual(await page.$$eval('#tweaks .tweak-item', (items) => items.map((i) => Number(i.dataset.id))), tweaks.map((t) => t.id));
    await page.focus(`${item(70)} .tweak`);
    const scrolled = await page.$eval('#tweaks', (l) => l.scrollTop);
    assert.ok(scrolled > 0);
    await page.keyboard.press('Space');
    assert.equal(await page.$eval('#tweaks', (l) => l.scrollTop), scrolled);
    assert.equal(await page.evaluate(() => document.activeElement.closest('.tweak-item').dataset.id), '70');
    assert.equal(await page.getAttribute(`${item(70)} .tweak`, 'aria-checked'), 'true');
    await close();
  });

  test('Tab reaches every control of the expert view and the details panel, each with a visible focus', async () => {
    const { page, close } = await expertPage();
    const walk = async (presses) => {
      const seen = [];
      for (let i = 0; i < presses; i++) {
        await page.keyboard.press('Tab');
        seen.push(await page.evaluate(() => {
          const el = document.activeElement;
          const style = getComputedStyle(el);
          const visible = el.matches(':focus-visible') && style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0;
          return { what: el.id || el.className || el.tagName, visible };
        }));
      }
      return seen;
    };
    // From the search box through the filters, the master control and each card with its info control.
    await page.focus('#search');
    const expert = await walk(11);
    for (const s of expert) assert.ok(s.visible, `focus not visible on ${s.what}`);
    for (const kind of ['chip filter', 'master', 'tweak', 'info']) assert.ok(expert.some((s) => s.what === kind), `Tab reaches ${kind}`);

    // In the panel the focus goes round its own controls only.
    await page.keyboard.press('Enter');
    await page.waitForSelector('#details.show');
    const panel = await walk(4);
    for (const s of panel) assert.ok(s.visible, `focus not visible on ${s.what}`);
    assert.deepEqual(panel.map((s) => s.what), ['tab-about', 'details-close', 'tab-about', 'details-close']);
    await close();
  });
});
