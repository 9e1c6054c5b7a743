// The road of one run, all from the real core: the page in Debian's Chromium,
// served by tools/preview.mjs with the Windows bridge under Wine, so every
// tweak runs as a batch file in Wine's cmd.exe against the registry of a fresh
// copy of the test prefix. Screenshots go to tests/artefacts/e2e/.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { CATEGORY_LABELS, launchBrowser, text, texts } from '../page/harness.mjs';
import { registryValue, screenshotPath, setRegistryDword, startPreview } from './preview.mjs';

// Two plain-command tweaks. The first sets a value with reg.exe under the
// OneDrive folder's class key when that key exists; the test registers the key
// first (in the user's classes), as OneDrive's setup would. The second runs
// `setx ... /M`, which Wine only pretends to do, so only its messages count.
const ONEDRIVE_KEY = 'HKCU\\Software\\Classes\\CLSID\\{018D5C66-4533-4307-9B53-224DE2ED1FE6}';
const PINNED = 'System.IsPinnedToNameSpaceTree';
const PLAIN_TWEAKS = [
  { category: 'Проводник и меню', name: 'Remove OneDrive folder from File Explorer' },
  { category: 'Телеметрия', name: 'Disable PowerShell telemetry' },
];
// QF_E2E_RECOMMENDED limits the recommended run to that many tweaks (in page
// order) when the whole set does not fit the time at hand.
const RECOMMENDED_LIMIT = Number(process.env.QF_E2E_RECOMMENDED || 0);

let browser;
let preview;
before(async () => {
  browser = await launchBrowser({ local: true });
  preview = await startPreview();
});
after(async () => {
  await browser?.close();
  await preview?.stop();
});

async function openPreview() {
  const context = await browser.newContext({ viewport: { width: 1280, height: 860 } });
  // Offline: only the preview server answers.
  await context.route('**/*', (route) =>
    route.request().url().startsWith(preview.url) ? route.continue() : route.abort('internetdisconnected'),
  );
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  return { page, context, errors };
}

// Loads (or reloads) the page and waits for the "init" its "ready" brought.
async function loadAndInit(page, load) {
  const from = preview.messages.length;
  await load();
  const init = await preview.waitFor((m) => m.type === 'init', { from, timeout: 60000, what: 'init' });
  await page.waitForFunction((n) => document.querySelectorAll('#nav-list .cat-item').length === n, init.categories.length);
  await page.waitForSelector('#splash', { state: 'detached' });
  return init;
}

async function logLines(page, id) {
  return texts(page, `#${id} .log-line`).then((lines) => lines.map((l) => l.replace(/^\d\d:\d\d:\d\d/, '')));
}

async function waitForSummary(page, timeout) {
  await page.waitForFunction(
    () => [...document.querySelectorAll('#log-auto .log-line')].some((l) => l.textContent.includes('Завершено: OK')),
    null,
    { timeout, polling: 250 },
  );
}

async function settle(page) {
  await page.waitForFunction(() => document.getAnimations().every((a) => a.playState !== 'running' || a.effect.getTiming().iterations === Infinity));
}

describe('the page on the real core under Wine', () => {
  test('load, init from the core, and a two-tweak run from the expert view', async () => {
    const { page, context, errors } = await openPreview();
    const init = await loadAndInit(page, () => page.goto(preview.url));

    assert.equal(init.categories.length, 16);
    assert.equal(init.categories.reduce((n, c) => n + c.tweaks.length, 0), 421);
    assert.deepEqual(await texts(page, '#nav-list .cat-item > span:first-child'), init.categories.map((c) => CATEGORY_LABELS[c.key]));
    // The system card comes from Wine's registry and account.
    const osName = registryValue('HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion', 'ProductName');
    assert.ok(osName, 'Wine reports a product name');
    const system = await texts(page, '.sys-val');
    assert.ok(system[0].startsWith(osName), `os "${system[0]}" from "${osName}"`);
    assert.equal(system[0], init.system.os);
    assert.equal(system[3], process.env.USER || system[3]);
    for (const value of [system[0], system[3], system[4]]) assert.notEqual(value, 'unknown');

    setRegistryDword(ONEDRIVE_KEY, PINNED, 1);
    assert.equal(registryValue(ONEDRIVE_KEY, PINNED), '0x1');

    await page.click('#mode-switch button[data-mode="expert"]');
    // The core's state check marks every card, with a label in words, and counts what is applied per category.
    await page.waitForFunction((n) => document.querySelectorAll('#tweaks .tweak .state-mark').length === n &&
      document.querySelectorAll('#tweaks .tweak').length === n, init.categories[0].tweaks.length);
    const labels = await page.$$eval('#tweaks .state-mark', (ms) => ms.map((m) => m.getAttribute('aria-label')));
    assert.ok(labels.every((l) => /^Состояние: (уже применено|применено частично: \d+ из \d+|не применено|не проверяется: шаги выполняются всегда|неизвестно)$/.test(l)), labels.join('; '));
    assert.ok((await page.$$('#nav-list .applied-count')).length > 0, 'applied counts in the categories');
    for (const t of PLAIN_TWEAKS) {
      await page.click(`#nav-list .cat-item:has-text("${t.category}")`);
      await page.click(`#tweaks .tweak:has(.name:text-is("${t.name}"))`);
    }
    assert.equal(await text(page, '#btn-expert-label'), '▸ оптимизировать (2)');
    // Wine has no System Restore: the core makes no point and runs nothing, and the page asks once.
    const asked = preview.messages.length;
    await page.click('#btn-expert');
    await page.click('#confirm-ok');
    const point = await preview.waitFor((m) => m.type === 'restore-point', { from: asked, what: 'restore-point' });
    assert.deepEqual([point.created, point.reason], [false, 'unavailable']);
    await page.waitForSelector('#confirm.show');
    assert.equal(await text(page, '#confirm-title'), 'Точка восстановления не создана');
    const from = preview.messages.length;
    await page.click('#confirm-ok');
    assert.equal(await page.$eval('#btn-expert', (b) => b.disabled), true, 'disabled while running');
    await waitForSummary(page, 60000);

    const done = await preview.waitFor((m) => m.type === 'done', { from, what: 'done' });
    const lines = await logLines(page, 'log-ex');
    const run = lines.slice(lines.indexOf('Running 2 tweaks...'));
    assert.equal(run[0], 'Running 2 tweaks...');
    assert.equal(run[1], `[1/2] ${PLAIN_TWEAKS[0].name}`);
    assert.match(run[2], new RegExp(`^\\[(OK|FAIL)\\] ${PLAIN_TWEAKS[0].name}$`));
    assert.equal(run[3], `[2/2] ${PLAIN_TWEAKS[1].name}`);
    assert.match(run[4], new RegExp(`^\\[(OK|FAIL)\\] ${PLAIN_TWEAKS[1].name}$`));
    assert.equal(run[5], `Завершено: OK ${done.ok}, Ошибки ${done.err}`);
    assert.deepEqual({ ok: done.ok, err: done.err }, { ok: 2, err: 0 });
    assert.equal(await text(page, '#prog-pct-ex'), '100%');
    assert.deepEqual([await text(page, '#prog-cur-ex'), await text(page, '#prog-max-ex')], ['2', '2']);
    assert.equal(await page.$eval('#btn-expert', (b) => b.disabled), false);
    assert.equal(await page.$eval('#btn-auto', (b) => b.disabled), false);
    // What the tweaks set is in Wine's registry.
    assert.equal(registryValue(ONEDRIVE_KEY, PINNED), '0x0');

    // The pointer away from the cards, so no tooltip covers the view.
    await page.mouse.move(1, 1);
    await settle(page);
    await page.screenshot({ path: screenshotPath('expert-run-finished') });
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('details from the core: the script tab shows the body the core sends; "Стоп" ends a run after the tweak in progress', async () => {
    const { page, context, errors } = await openPreview();
    const from = preview.messages.length;
    const init = await loadAndInit(page, () => page.goto(preview.url));
    const details = await preview.waitFor((m) => m.type === 'details', { from, what: 'details' });
    const tweaks = init.categories.flatMap((c) => c.tweaks);
    assert.deepEqual(details.tweaks.map((d) => d.id).sort((a, b) => a - b), tweaks.map((t) => t.id));

    // The script of one tweak, as the core answers it, shown as it came.
    const shown = tweaks.find((t) => t.name === PLAIN_TWEAKS[1].name);
    await page.click('#mode-switch button[data-mode="expert"]');
    await page.fill('#search', shown.name);
    await page.click(`#tweaks .tweak-item[data-id="${shown.id}"] .info`);
    const beforeScript = preview.messages.length;
    await page.click('#tab-script');
    const script = await preview.waitFor((m) => m.type === 'script' && m.id === shown.id, { from: beforeScript, what: 'script' });
    await page.waitForFunction(() => !document.getElementById('details-script').classList.contains('waiting'));
    assert.equal(await text(page, '#details-script'), script.text);
    assert.match(script.text, /^:: -+/);
    await page.keyboard.press('Escape');
    await page.fill('#search', '');

    // Five tweaks with many steps, so that each takes a while under Wine; "Стоп" during the second.
    const byId = new Map(details.tweaks.map((d) => [d.id, d]));
    const slow = tweaks.filter((t) => !t.warn).sort((a, b) => byId.get(b.id).steps.length - byId.get(a.id).steps.length).slice(0, 5);
    await page.evaluate((ids) => {
      state.selection = new Set(ids);
      selectionChanged();
    }, slow.map((t) => t.id));
    assert.equal(await text(page, '#btn-expert-label'), '▸ оптимизировать (5)');
    for (const option of ['skipApplied', 'restorePoint']) await page.uncheck(`#view-expert input[data-option="${option}"]`);
    const beforeRun = preview.messages.length;
    await page.click('#btn-expert');
    await page.click('#confirm-ok');
    await preview.waitFor((m) => m.type === 'log' && m.text.startsWith('[2/5] '), { from: beforeRun, timeout: 120000, what: 'the second tweak' });
    await page.click('#btn-stop-ex');
    assert.equal(await text(page, '#btn-stop-ex'), 'Останавливаю…');
    const done = await preview.waitFor((m) => m.type === 'done', { from: beforeRun, timeout: 300000, what: 'done' });
    const run = preview.messages.slice(beforeRun).filter((m) => m.type === 'log').map((m) => m.text);
    const started = run.filter((t) => /^\[\d\/5\] /.test(t)).length;
    console.log(`stopped during the second of five: ${started} started, ok ${done.ok}, err ${done.err}`);
    assert.ok(started >= 2 && started < 5, `${started} tweaks started`);
    assert.equal(done.ok + done.err, started);
    assert.ok(run.some((t) => t.startsWith('Cancelled by user')), 'the log says the run was cancelled');
    await waitForSummary(page, 30000);
    assert.equal(await page.$eval('#btn-stop-ex', (b) => b.hidden), true);
    await page.mouse.move(1, 1);
    await settle(page);
    await page.screenshot({ path: screenshotPath('expert-run-stopped') });
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('the recommended run from the auto view, with a reload in the middle', async () => {
    const { page, context, errors } = await openPreview();
    const init = await loadAndInit(page, () => page.goto(preview.url));
    const recommended = init.categories.flatMap((c) => c.tweaks).filter((t) => t.recommended);
    assert.equal(recommended.length, 327);
    const total = RECOMMENDED_LIMIT > 0 ? Math.min(RECOMMENDED_LIMIT, recommended.length) : recommended.length;
    if (total < recommended.length) {
      // A subset: the page sends the recommended set it holds, so hand it a shorter one.
      await page.evaluate((n) => {
        const send = window.chrome.webview.postMessage;
        window.chrome.webview.postMessage = (data) => {
          const command = JSON.parse(data);
          if (command.cmd === 'optimize') command.ids = command.ids.slice(0, n);
          send(JSON.stringify(command));
        };
      }, total);
    }

    // Every tweak runs, without a restore point (Wine has none).
    for (const option of ['skipApplied', 'restorePoint']) await page.uncheck(`#view-auto input[data-option="${option}"]`);
    const from = preview.messages.length;
    const started = Date.now();
    await page.click('#btn-auto');
    await page.click('#confirm-ok');
    const sentIds = recommended.slice(0, total).map((t) => t.id);

    // Reload once a few tweaks have run: the new page gets a fresh init and the rest of the run.
    const reloadAt = Math.min(5, total - 1);
    await preview.waitFor((m) => m.type === 'progress' && m.cur >= reloadAt, { from, timeout: 120000, what: 'progress' });
    const reinit = await loadAndInit(page, () => page.reload());
    assert.deepEqual(reinit.categories.map((c) => c.tweaks.length), init.categories.map((c) => c.tweaks.length));
    assert.equal(await page.$eval('#btn-auto', (b) => b.disabled), false, 'a reloaded page is not running');

    const done = await preview.waitFor((m) => m.type === 'done', { from, timeout: 900000, what: 'done' });
    const seconds = (Date.now() - started) / 1000;
    console.log(`recommended run: ${total} tweaks in ${seconds.toFixed(1)} s, ${((seconds / total) * 1000).toFixed(0)} ms a tweak; ok ${done.ok}, err ${done.err}`);
    await waitForSummary(page, 30000);

    const runMessages = preview.messages.slice(from);
    for (const m of runMessages) if (m.type === 'log' && m.text.startsWith('[FAIL] ')) console.log(`failed under Wine: ${m.text.slice(7)}`);
    assert.equal(done.ok + done.err, total);
    const last = runMessages.filter((m) => m.type === 'progress').at(-1);
    assert.deepEqual([last.cur, last.max, last.ok, last.err], [total, total, done.ok, done.err]);
    // The reload came while the run was going on.
    const reloadedAt = runMessages.indexOf(reinit);
    assert.ok(runMessages.slice(reloadedAt).some((m) => m.type === 'progress' && m.cur < total), 'progress after the fresh init');
    // Every tweak was started once, in the order sent.
    const startedLines = runMessages.filter((m) => m.type === 'log' && /^\[\d+\/\d+\] /.test(m.text)).map((m) => m.text);
    assert.equal(startedLines.length, total);
    assert.deepEqual(startedLines.slice(0, 3), sentIds.slice(0, 3).map((id, i) => `[${i + 1}/${total}] ${recommended.find((t) => t.id === id).name}`));

    // The reloaded page showed the rest of the run: its own log and counters.
    const lines = await logLines(page, 'log-auto');
    assert.ok(lines.includes(`[${total}/${total}] ${recommended[total - 1].name}`), 'the last tweak reached the reloaded page');
    assert.equal(lines.at(-1), `Завершено: OK ${done.ok}, Ошибки ${done.err}`);
    assert.deepEqual([await text(page, '#prog-cur-auto'), await text(page, '#prog-max-auto'), await text(page, '#prog-pct-auto')], [String(total), String(total), '100%']);
    assert.deepEqual([await text(page, '#cnt-ok-auto'), await text(page, '#cnt-err-auto')], [String(done.ok), String(done.err)]);
    assert.equal(await page.$eval('#btn-auto', (b) => b.disabled), false);

    // Each failure is followed by its reasons from the core, which the page
    // sets under its line.
    const failures = runMessages.flatMap((m, i) => (m.type === 'log' && m.text.startsWith('[FAIL] ') ? [i] : []));
    assert.equal(failures.length, done.err);
    const reasonLines = await texts(page, '#log-auto .log-line.reason');
    for (const i of failures) {
      const reason = runMessages[i + 1];
      assert.ok(reason.type === 'log' && reason.level === 'err' && reason.text !== '', `a reason after ${runMessages[i].text}`);
      console.log(`  its reason: ${reason.text}`);
      // The reloaded page shows what came after it.
      if (i > reloadedAt) assert.ok(reasonLines.some((l) => l.endsWith(reason.text)), `the page shows "${reason.text}" as a reason`);
    }

    // The pointer away from the cards, so no tooltip covers the view.
    await page.mouse.move(1, 1);
    await settle(page);
    await page.screenshot({ path: screenshotPath('auto-run-finished') });
    if (reasonLines.length > 0) {
      await page.$eval('#log-auto .log-line.reason', (l) => l.scrollIntoView({ block: 'center' }));
      await settle(page);
      await page.screenshot({ path: screenshotPath('auto-run-failure-reason') });
    }
    assert.deepEqual(errors, []);
    await context.close();
  });
});
