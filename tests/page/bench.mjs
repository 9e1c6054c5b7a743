// Timed page scripts (reported, not asserted): run with `node bench.mjs` in
// tests/page after `npm ci`. Uses the native "init" and "details" when
// QF_BRIDGE names the bridge program, else synthetic ones of the same shape (16
// categories with the catalogue's sizes and flag counts, 421 tweaks, a
// description of ordinary length each). Results are printed and written to
// tests/artefacts/page/bench.json.
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { artefactDir, launchBrowser, nativeMessages, openPage, screenshotPath } from './harness.mjs';

// Per category, in catalogue order: key, tweaks, recommended, warn.
const SHAPE = [
  ['cleanup', 65, 61, 0], ['telemetry', 50, 44, 3], ['browsers', 74, 61, 6], ['security', 26, 25, 1],
  ['network', 4, 2, 2], ['explorer', 37, 22, 15], ['updates', 9, 4, 5], ['power', 1, 1, 0],
  ['defender', 3, 3, 0], ['services', 3, 2, 1], ['input', 3, 3, 0], ['remote', 6, 3, 3],
  ['accounts', 1, 1, 0], ['notify', 11, 10, 1], ['hardware', 5, 0, 5], ['misc', 123, 85, 38],
];

function synthInit() {
  let id = 0;
  const words = ['Disable', 'Clear', 'Remove', 'Block', 'Turn off', 'Reset', 'Telemetry', 'Cache', 'Service', 'Task',
    'Explorer', 'Store', 'Cortana', 'Prefetch', '"Cryptographic Services"', 'logs', 'updates', 'and', 'for', 'the'];
  const categories = SHAPE.map(([key, count, rec, warn]) => ({
    key,
    name: key,
    tweaks: Array.from({ length: count }, (_, i) => {
      let name = '';
      for (let w = 0; name.length < 14 + ((id * 37) % 89); w++) name += (w ? ' ' : '') + words[(id * 7 + w * 3) % words.length];
      return { id: id++, name: name.slice(0, 102), recommended: i < rec, warn: i >= rec && i < rec + warn };
    }),
  }));
  return { type: 'init', admin: true, system: { os: 'Windows 11 Pro 23H2', cpu: 'CPU', gpu: 'GPU', user: 'user', host: 'HOST' }, categories };
}

function synthDetails(init) {
  const costs = ['none', 'feature', 'data', 'breaks', 'protection'];
  const sentence = 'Sets the policy value that turns the feature off for every user of the machine, as documented by Microsoft. ';
  return {
    type: 'details',
    tweaks: init.categories.flatMap((c) => c.tweaks).map((t) => ({
      id: t.id,
      key: `synthetic/${t.id}`,
      description: sentence.repeat(1 + (t.id % 7)),
      docs: ['Policy CSP - Experience'],
      steps: [{ family: 'set-registry-value', summary: 'Set HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\Example Value to 0' }],
      reversible: t.id % 5 === 0 ? 'none' : 'full',
      cost: costs[t.id % costs.length],
      costText: 'Отключает функцию, которой пользуются немногие.',
    })),
  };
}

function stats(samples) {
  const s = [...samples].sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return { n: s.length, median: +at(0.5).toFixed(3), p95: +at(0.95).toFixed(3), min: +s[0].toFixed(3), max: +s.at(-1).toFixed(3) };
}

const native = process.env.QF_BRIDGE ? await nativeMessages([{ cmd: 'details' }], ['init', 'details']) : null;
const init = native ? native.init : synthInit();
const details = native ? native.details : synthDetails(init);
const initText = JSON.stringify(init);
const detailsText = JSON.stringify(details);
const source = native ? 'native init and details from QF_BRIDGE' : 'synthetic init and details of the catalogue\'s shape';
const browser = await launchBrowser();
const results = { source, initBytes: Buffer.byteLength(initText), detailsBytes: Buffer.byteLength(detailsText) };

// window.__afterFrame() resolves after the next frame's style, layout and
// paint: a task posted from the frame callback runs once that frame is done.
function installAfterFrame(page) {
  return page.evaluate(() => {
    window.__afterFrame = () => new Promise((resolve) => requestAnimationFrame(() => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => resolve();
      channel.port2.postMessage(0);
    }));
  });
}

// 1. From "init" and "details", delivered back to back, to the filled page's
// next frame (fresh page each time), with the share of the page's own script;
// and the parse of the "details" text, which the web view does before delivery.
{
  const script = [];
  const frame = [];
  const parse = [];
  for (let i = 0; i < 7; i++) {
    const { page, close } = await openPage(browser);
    await page.waitForTimeout(200);
    await installAfterFrame(page);
    const [s, f, p] = await page.evaluate(async (texts) => {
      const p0 = performance.now();
      const detailsMsg = JSON.parse(texts[1]);
      const p1 = performance.now();
      const initMsg = JSON.parse(texts[0]);
      const t0 = performance.now();
      window.__qf.deliver(initMsg);
      window.__qf.deliver(detailsMsg);
      const t1 = performance.now();
      await window.__afterFrame();
      return [t1 - t0, performance.now() - t0, p1 - p0];
    }, [initText, detailsText]);
    script.push(s);
    frame.push(f);
    parse.push(p);
    await close();
  }
  results.initDetailsToNextFrameMs = stats(frame);
  results.initDetailsScriptMs = stats(script);
  results.scriptShare = +(stats(script).median / stats(frame).median).toFixed(3);
  results.detailsParseMs = stats(parse);
}

const { page, context, close } = await openPage(browser);
await page.evaluate((texts) => texts.forEach((t) => window.__qf.deliver(JSON.parse(t))), [initText, detailsText]);
await page.waitForSelector('#splash', { state: 'detached' });

// 2. In the largest category: one toggle (the cards updated in place, the
// category list and buttons re-rendered), and showing the category afresh (its
// first batch of cards in the frame, the rest in the frames after).
{
  await page.click('#mode-switch button[data-mode="expert"]');
  const largest = init.categories.reduce((best, c, i) => (c.tweaks.length > init.categories[best].tweaks.length ? i : best), 0);
  await page.click(`#nav-list .cat-item:nth-child(${largest + 1})`);
  await installAfterFrame(page);
  const [toggle, toggleLayout, show, cards] = await page.evaluate(async () => {
    const cat = state.categories[state.activeTab];
    const id = cat.tweaks[0].id;
    const list = document.getElementById('tweaks');
    const toggle = [];
    const toggleLayout = [];
    for (let i = 0; i < 60; i++) {
      const t0 = performance.now();
      toggleTweak(id);
      const t1 = performance.now();
      void list.offsetHeight;
      toggle.push(t1 - t0);
      toggleLayout.push(performance.now() - t0);
    }
    const show = [];
    for (let i = 0; i < 20; i++) {
      await window.__afterFrame();
      const t0 = performance.now();
      renderPanel();
      await window.__afterFrame();
      show.push(performance.now() - t0);
    }
    await new Promise((resolve) => setTimeout(resolve, 300));
    return [toggle, toggleLayout, show, list.querySelectorAll('.tweak').length];
  });
  results.largestCategoryCards = cards;
  results.toggleMs = stats(toggle);
  results.toggleWithLayoutMs = stats(toggleLayout);
  results.showCategoryToFrameMs = stats(show);
  await page.screenshot({ path: screenshotPath('bench-largest-category') });
}

// 2b. A "state" answer for every tweak, as after each run: the shown cards' marks
// changed in place, the categories' applied counts and the hero's count, to the next frame.
{
  const words = ['applied', 'partly', 'not-applied', 'n/a', 'unknown'];
  const rows = init.categories.flatMap((c) => c.tweaks).map((t, i) => [t.id, words[(i + results.largestCategoryCards) % 5], i % 3, 2]);
  const stateText = JSON.stringify({ type: 'state', tweaks: rows });
  const times = await page.evaluate(async (text) => {
    const out = [];
    for (let i = 0; i < 20; i++) {
      await window.__afterFrame();
      const t0 = performance.now();
      window.__qf.deliver(JSON.parse(text));
      await window.__afterFrame();
      out.push(performance.now() - t0);
    }
    return out;
  }, stateText);
  results.stateBytes = Buffer.byteLength(stateText);
  results.stateToFrameMs = stats(times);
}

// 3. A search keystroke over every tweak's name and description: from the input
// event to the next frame (the first batch of results in it), typing "disable" a letter at a time (the first
// letters match nearly every tweak) and then deleting it again.
{
  await page.fill('#search', '');
  await installAfterFrame(page);
  const [frame, script, layout, idle, counts] = await page.evaluate(async () => {
    const afterFrame = window.__afterFrame;
    const input = document.getElementById('search');
    const list = document.getElementById('tweaks');
    // A frame in which the page itself changes nothing: the particle canvas and
    // the compositing of the page over it, the floor of every frame below.
    const idle = [];
    for (let i = 0; i < 40; i++) {
      await afterFrame();
      const t0 = performance.now();
      await afterFrame();
      idle.push(performance.now() - t0);
    }
    const word = 'disable';
    const steps = [];
    for (let round = 0; round < 6; round++) {
      for (let i = 1; i <= word.length; i++) steps.push(word.slice(0, i));
      for (let i = word.length - 1; i >= 0; i--) steps.push(word.slice(0, i));
    }
    const frame = [];
    const script = [];
    const layout = [];
    const counts = new Set();
    for (const value of steps) {
      // The previous keystroke's remaining batches are in, as between two keys typed.
      do await afterFrame(); while (pendingCards);
      input.value = value;
      const t0 = performance.now();
      input.dispatchEvent(new Event('input', { bubbles: true }));
      const t1 = performance.now();
      void list.offsetHeight;
      const t2 = performance.now();
      await afterFrame();
      frame.push(performance.now() - t0);
      script.push(t1 - t0);
      layout.push(t2 - t0);
      counts.add(value + ':' + document.getElementById('cat-title').textContent);
    }
    return [frame, script, layout, idle, [...counts]];
  });
  results.idleFrameMs = stats(idle);
  results.searchKeystrokeToFrameMs = stats(frame);
  results.searchKeystrokeScriptMs = stats(script);
  results.searchKeystrokeScriptLayoutMs = stats(layout);
  results.searchResultCounts = counts.slice(0, 8);
  await page.fill('#search', 'd');
  await page.screenshot({ path: screenshotPath('bench-search') });
  await page.fill('#search', '');
}

// 4. One particle frame (70 particles, all pairs), the pointer over the canvas.
{
  const frames = await page.evaluate(() => {
    bgPointerX = innerWidth / 2;
    bgPointerY = innerHeight / 2;
    const out = [];
    for (let i = 0; i < 400; i++) {
      const t0 = performance.now();
      particleFrame();
      out.push(performance.now() - t0);
    }
    return out;
  });
  results.particleFrameMs = stats(frames);
}

// 5. Memory and time for 10,000 log lines: each log keeps 500, so nodes and heap stay flat.
{
  const cdp = await context.newCDPSession(page);
  await cdp.send('Performance.enable');
  const measure = async () => {
    await cdp.send('HeapProfiler.collectGarbage');
    const { metrics } = await cdp.send('Performance.getMetrics');
    const get = (name) => metrics.find((m) => m.name === name).value;
    return { nodes: get('Nodes'), jsHeapMB: +(get('JSHeapUsedSize') / 1048576).toFixed(2) };
  };
  const addLines = (n) => page.evaluate((count) => {
    const t0 = performance.now();
    for (let i = 0; i < count; i++) addLog(['info', 'ok', 'warn', 'err'][i % 4], '[' + i + '/10000] Some tweak name of ordinary length');
    return performance.now() - t0;
  }, n);
  const before = await measure();
  const first = await addLines(1000);
  const after1k = await measure();
  const rest = await addLines(9000);
  const after10k = await measure();
  const lines = await page.$$eval('.log', (ls) => ls.map((l) => l.childElementCount));
  results.logMemory = { before, after1k, after10k, linesPerLog: lines };
  results.addLogMsPerLine = +((first + rest) / 10000).toFixed(4);
}

await close();
await browser.close();
writeFileSync(path.join(artefactDir, 'bench.json'), JSON.stringify(results, null, 2) + '\n');

console.log(`Page benchmarks (${source}, init ${results.initBytes} bytes, details ${results.detailsBytes} bytes)`);
const row = (label, s, target = '') => console.log(`  ${label.padEnd(46)} median ${String(s.median).padStart(8)} ms   p95 ${String(s.p95).padStart(8)} ms ${target}`);
row('"init" + "details" (421 tweaks) to the next frame', results.initDetailsToNextFrameMs);
row('  of which the page\'s script', results.initDetailsScriptMs, `(share ${results.scriptShare})`);
row('parse of the "details" text', results.detailsParseMs);
row('a frame in which nothing changes', results.idleFrameMs);
row('search keystroke to the next frame', results.searchKeystrokeToFrameMs, '(target < 16 ms)');
row('  of which the page\'s script', results.searchKeystrokeScriptMs);
row('  script, style and layout', results.searchKeystrokeScriptLayoutMs);
console.log(`  results per query: ${results.searchResultCounts.join(', ')}`);
row(`toggle in the largest category (${results.largestCategoryCards} cards)`, results.toggleMs, '(target < 8 ms)');
row('  the same with layout', results.toggleWithLayoutMs);
row('largest category shown, to the next frame', results.showCategoryToFrameMs);
row(`"state" for every tweak (${results.stateBytes} bytes) to the next frame`, results.stateToFrameMs);
row('one particle frame (script)', results.particleFrameMs, '(target < 2 ms)');
const m = results.logMemory;
console.log(`  log lines: nodes ${m.before.nodes} -> ${m.after1k.nodes} (1,000) -> ${m.after10k.nodes} (10,000); ` +
  `JS heap ${m.before.jsHeapMB} -> ${m.after1k.jsHeapMB} -> ${m.after10k.jsHeapMB} MB; lines kept ${m.linesPerLog.join(', ')}; ` +
  `${results.addLogMsPerLine} ms a line`);
