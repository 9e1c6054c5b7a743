// Shared set-up of the page tier: Debian's Chromium driven by playwright-core,
// offline, with the page document opened from the source tree either on its own
// (preview mode) or with a scripted window.chrome.webview that records what the
// page sends and delivers what the host would post.
import { chromium } from 'playwright-core';
import { spawn } from 'node:child_process';
import { mkdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repoRoot = path.resolve(here, '../..');
export const pageUrl = pathToFileURL(path.join(repoRoot, 'page/index.html')).href;
export const artefactDir = path.join(repoRoot, 'tests/artefacts/page');

// The page's own labels, read from its script, so that they are written once.
function pageCategoryLabels() {
  const source = readFileSync(path.join(repoRoot, 'page/index.html'), 'utf8');
  const block = /const CATEGORY_LABELS = Object\.freeze\((\{[^}]*\})\);/.exec(source);
  if (!block) throw new Error('page/index.html: CATEGORY_LABELS not found');
  return Object.fromEntries([...block[1].matchAll(/^\s*(\w+): '([^']*)',?$/gm)].map((m) => [m[1], m[2]]));
}
export const CATEGORY_LABELS = pageCategoryLabels();

export const WARNING_SENTENCE = ' В выборке есть опасные твики (CPU Mitigations и т.п.) — используй осторожно.';

// `local`: the loopback address stays reachable (the e2e tier's preview server).
export async function launchBrowser({ local = false } = {}) {
  return chromium.launch({
    executablePath: process.env.QF_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-first-run',
      // Nothing outside this machine is reachable; fail every name lookup at once.
      `--host-resolver-rules=MAP * ~NOTFOUND${local ? ', EXCLUDE 127.0.0.1' : ''}`,
    ],
  });
}

// Installed before any script of the page runs: a stand-in for WebView2's
// window.chrome.webview. Each postMessage is recorded with what was already in
// place when it came (listeners, working mode switch and confirm buttons).
export function scriptedWebView() {
  const listeners = [];
  const sent = [];
  const probeBindings = () => {
    const expertButton = document.querySelector('#mode-switch button[data-mode="expert"]');
    const autoButton = document.querySelector('#mode-switch button[data-mode="auto"]');
    const confirm = document.getElementById('confirm');
    const cancel = confirm && confirm.querySelector('[data-action="cancel"]');
    if (!expertButton || !autoButton || !cancel) return { modeSwitch: false, confirm: false };
    expertButton.click();
    const modeSwitch = document.getElementById('view-expert').classList.contains('active');
    autoButton.click();
    confirm.classList.add('show');
    cancel.click();
    return { modeSwitch, confirm: !confirm.classList.contains('show') };
  };
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(data) {
      const entry = { data, kind: typeof data, listeners: listeners.length };
      if (sent.length === 0) entry.bound = probeBindings();
      sent.push(entry);
    },
    addEventListener(type, fn) {
      if (type === 'message') listeners.push(fn);
    },
    removeEventListener(type, fn) {
      const i = listeners.indexOf(fn);
      if (type === 'message' && i >= 0) listeners.splice(i, 1);
    },
  };
  window.__qf = {
    sent,
    deliver(data) {
      for (const fn of listeners.slice()) fn({ data });
    },
  };
}

// Opens the page in a fresh context. `bridge`: install the scripted web view.
// Returns the page, what it requested from outside, and its script errors.
export async function openPage(browser, { bridge = true, width = 1280, height = 860, clock = false } = {}) {
  const context = await browser.newContext({ viewport: { width, height } });
  const outside = [];
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith('file:') || url.startsWith('data:')) return route.continue();
    outside.push(url);
    return route.abort('internetdisconnected');
  });
  if (bridge) await context.addInitScript(scriptedWebView);
  const page = await context.newPage();
  const errors = [];
  const consoleLines = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => consoleLines.push(m.text()));
  // A fake clock that moves only when the test says so (runFor).
  if (clock) {
    const start = new Date('2024-05-06T09:05:03').getTime();
    await page.clock.install({ time: start });
    // Half a second later, still within the start's second: the installed clock
    // runs until it is paused, and a loaded machine takes more than a millisecond.
    await page.clock.pauseAt(start + 500);
  }
  await page.goto(pageUrl);
  return { page, context, outside, errors, consoleLines, close: () => context.close() };
}

// What the page has sent through the scripted web view, parsed.
export async function sentCommands(page) {
  return page.evaluate(() => window.__qf.sent.map((e) => JSON.parse(e.data)));
}

// Delivers one message as the host posts it (already parsed, as
// PostWebMessageAsJson does), or as a string when given one.
export async function deliver(page, msg) {
  await page.evaluate((m) => window.__qf.deliver(m), msg);
}

// A page with the scripted bridge, filled by each of `messages` in turn, splash gone.
export async function filledPage(browser, messages, options = {}) {
  const opened = await openPage(browser, options);
  for (const msg of messages) await deliver(opened.page, msg);
  await opened.page.waitForSelector('#splash', { state: 'detached' });
  return opened;
}

export async function texts(page, selector) {
  return page.$$eval(selector, (els) => els.map((e) => e.textContent));
}

export async function text(page, selector) {
  return page.$eval(selector, (e) => e.textContent);
}

export async function hasClass(page, selector, cls) {
  return page.$eval(selector, (e, c) => e.classList.contains(c), cls);
}

export function screenshotPath(name) {
  mkdirSync(artefactDir, { recursive: true });
  return path.join(artefactDir, name + '.png');
}

// The native "init": the bridge program's answer to "ready". QF_BRIDGE names a
// program that reads page commands, one JSON text a line, on standard input and
// writes every message for the page, one a line, on standard output.
export const BRIDGE_SKIP = process.env.QF_BRIDGE
  ? false
  : 'needs the native init: set QF_BRIDGE to the bridge program';

// The bridge's answers to "ready" and then to each of `commands`: the first
// message of each type asked for, by type ("init", "details", "script"...).
export async function nativeMessages(commands = [], types = ['init']) {
  const child = spawn(process.env.QF_BRIDGE, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const lines = createInterface({ input: child.stdout });
  const timer = setTimeout(() => child.kill(), 30000);
  const found = {};
  try {
    child.stdin.write(['{"cmd":"ready"}', ...commands.map((c) => JSON.stringify(c))].join('\n') + '\n');
    for await (const line of lines) {
      const msg = JSON.parse(line);
      if (types.includes(msg.type) && !found[msg.type]) found[msg.type] = msg;
      if (types.every((t) => found[t])) return found;
    }
    throw new Error(`the bridge ended before sending ${types.filter((t) => !found[t]).join(', ')}`);
  } finally {
    clearTimeout(timer);
    child.stdin.end();
    child.kill();
  }
}

export async function nativeInit() {
  return (await nativeMessages()).init;
}
