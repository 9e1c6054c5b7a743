// Timed page scripts (reported, not asserted): run with `node bench.mjs` in
// tests/page after `npm ci`. Uses the native init when QF_BRIDGE names the
// bridge program, else a synthetic init of the same shape (16 categories with
// the catalogue's sizes and flag counts, 421 tweaks). Results are printed and
// written to tests/artefacts/page/bench.json.
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { artefactDir, launchBrowser, nativeInit, openPage, screenshotPath } from './harness.mjs';

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

function stats(samples) {
  const s = [...samples].sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return { n: s.length, median: +at(0.5).toFixed(3), p95: +at(0.95).toFixed(3), min: +s[0].toFixed(3), max: +s.at(-1).toFixed(3) };
}

const init = process.env.QF_BRIDGE ? await nativeInit() : synthInit();
const initText = JSON.stringify(init);
const source = process.env.QF_BRIDGE ? 'native init from QF_BRIDGE' : 'synthetic init of the catalogue\'s shape';
const browser = await launchBrowser();
const results = { source, initBytes: Buffer.byteLength(initText) };

// 1. From the "init" message to the filled page's next frame (fresh page each time).
{
  const script = [];
  const frame = [];
  for (let i = 0; i < 7; i++) {
    const { page, close } = await openPage(browser);
    await page.waitForTimeout(200);
    const [s, f] = await page.evaluate(async (text) => {
      const msg = JSON.parse(text);
      const t0 = performance.now();
      window.__qf.deliver(msg);
      const t1 = performance.now();
      // A task posted from the frame callback runs after that frame's style, layout and paint.
      await new Promise((resolve) => requestAnimationFrame(() => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve();
        channel.port2.postMessage(0);
      }));
      return [t1 - t0, performance.now() - t0];
    }, initText);
    script.push(s);
    frame.push(f);
    await close();
  }
  results.initToNextFrameMs = stats(frame);
  results.applyInitScriptMs = stats(script);
}

const { page, context, close } = await openPage(browser);
await page.evaluate((text) => window.__qf.deliver(JSON.parse(text)), initText);
await page.waitForSelector('#splash', { state: 'detached' });

// 2. One toggle in the largest category: renderPanel + renderNav (as every selection change runs them).
{
  await page.click('#mode-switch button[data-mode="expert"]');
  const largest = init.categories.reduce((best, c, i) => (c.tweaks.length > init.categories[best].tweaks.length ? i : best), 0);
  await page.click(`#nav-list .cat-item:nth-child(${largest + 1})`);
  const [render, withLayout, cards] = await page.evaluate(() => {
    const cat = state.categories[state.activeTab];
    const id = cat.tweaks[0].id;
    const render = [];
    const withLayout = [];
    for (let i = 0; i < 60; i++) {
      const t0 = performance.now();
      if (state.selection.has(id)) state.selection.delete(id);
      else state.selection.add(id);
      renderPanel();
      renderNav();
      const t1 = performance.now();
      void document.getElementById('tweaks').offsetHeight;
      const t2 = performance.now();
      render.push(t1 - t0);
      withLayout.push(t2 - t0);
    }
    return [render, withLayout, document.querySelectorAll('#tweaks .tweak').length];
  });
  results.toggleRenderCards = cards;
  results.toggleRenderMs = stats(render);
  results.toggleRenderWithLayoutMs = stats(withLayout);
  await page.screenshot({ path: screenshotPath('bench-largest-category') });
}

// 3. One particle frame (70 particles, all pairs), the pointer over the canvas.
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

// 4. Memory and time for 10,000 log lines: each log keeps 500, so nodes and heap stay flat.
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

console.log(`Page benchmarks (${source}, init ${results.initBytes} bytes)`);
const row = (label, s, target = '') => console.log(`  ${label.padEnd(46)} median ${String(s.median).padStart(8)} ms   p95 ${String(s.p95).padStart(8)} ms ${target}`);
row('"init" (421 tweaks) to the next frame', results.initToNextFrameMs);
row('  of which applyInit script', results.applyInitScriptMs);
row(`toggle + renderPanel + renderNav (${results.toggleRenderCards} cards)`, results.toggleRenderMs, '(target < 8 ms)');
row('  the same with layout', results.toggleRenderWithLayoutMs);
row('one particle frame (script)', results.particleFrameMs, '(target < 2 ms)');
const m = results.logMemory;
console.log(`  log lines: nodes ${m.before.nodes} -> ${m.after1k.nodes} (1,000) -> ${m.after10k.nodes} (10,000); ` +
  `JS heap ${m.before.jsHeapMB} -> ${m.after1k.jsHeapMB} -> ${m.after10k.jsHeapMB} MB; lines kept ${m.linesPerLog.join(', ')}; ` +
  `${results.addLogMsPerLine} ms a line`);
