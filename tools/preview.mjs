#!/usr/bin/env node
// The whole program on a Linux machine: serves the embedded page on 127.0.0.1
// with a window.chrome.webview stand-in wired to the console bridge, which runs
// the native core. By default the Windows bridge under Wine (tweaks run in a
// real cmd.exe against Wine's registry); --native takes the native build.
//
//   node tools/preview.mjs [--native] [--port N] [--open]
//
// The first line on standard output is "Preview: <address>". --open shows the
// page in a Chromium app window and ends the preview when that window closes.
// One bridge serves the server's whole lifetime: every connected page gets
// every message, and a reloaded page sends "ready" and gets a fresh "init".
//
// The bridge runs tweaks, so only the preview's own page may command it: every
// request must name 127.0.0.1:<port> as its host (no other name resolving here
// reaches it), and a command must come from the page's own origin with the
// token made at start and written into the page (no other page can read it).
import { spawn, spawnSync } from 'node:child_process';
import { randomBytes, timingSafeEqual } from 'node:crypto';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function parseArgs(argv) {
  const options = { native: false, port: 0, open: false };
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '--native') options.native = true;
    else if (arg === '--open') options.open = true;
    else if (arg === '--port' && i + 1 < argv.length) options.port = Number(argv[++i]);
    else {
      console.error(`usage: node tools/preview.mjs [--native] [--port N] [--open]  (unknown: ${arg})`);
      process.exit(2);
    }
  }
  return options;
}

// The program and arguments that start the bridge.
function bridgeCommand(native) {
  if (native) {
    const program = path.join(repoRoot, 'build/native/tools/bridge/qf_bridge');
    if (!existsSync(program)) throw new Error(`${program} is missing: cmake --build --preset native --target qf_bridge`);
    return [program, []];
  }
  const wineRun = path.join(repoRoot, 'build/windows/wine-run');
  const program = path.join(repoRoot, 'build/windows/tools/bridge/qf_bridge.exe');
  if (!existsSync(wineRun) || !existsSync(program)) throw new Error(`${program} is missing: tools/build`);
  // Creates the prefix when needed and keeps a wine server up, so the bridge starts quickly.
  spawnSync(wineRun, ['--prepare'], { stdio: 'ignore' });
  return [wineRun, [program]];
}

// Runs in the page before any of its own scripts: the stand-in for WebView2's
// window.chrome.webview. Commands go out by POST in the order sent; the
// bridge's messages come in over one event stream, each delivered parsed, as
// PostWebMessageAsJson does. Commands wait until the stream is open, so the
// answer to "ready" cannot pass a page that is not yet listening.
function webViewShim(token) {
  const listeners = [];
  const waiting = [];
  let open = false;
  let sending = Promise.resolve();
  const post = (text) => {
    sending = sending.then(() => fetch('/send', { method: 'POST', body: text, headers: { 'x-preview-token': token } }).catch(() => {}));
  };
  const events = new EventSource('/events');
  events.onopen = () => {
    if (open) return;
    open = true;
    waiting.splice(0).forEach(post);
  };
  events.onmessage = (e) => {
    const data = JSON.parse(e.data);
    for (const fn of listeners.slice()) fn({ data });
  };
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(data) {
      const text = typeof data === 'string' ? data : JSON.stringify(data);
      if (open) post(text);
      else waiting.push(text);
    },
    addEventListener(type, fn) {
      if (type === 'message') listeners.push(fn);
    },
    removeEventListener(type, fn) {
      const i = listeners.indexOf(fn);
      if (type === 'message' && i >= 0) listeners.splice(i, 1);
    },
  };
}

// The page with the shim, and its policy opened to its own server for the
// shim's requests.
function pageWithShim(token) {
  const policy = "default-src 'none';";
  const html = readFileSync(path.join(repoRoot, 'page/index.html'), 'utf8').replace(policy, `${policy} connect-src 'self';`);
  if (!html.includes("connect-src 'self'")) throw new Error(`page/index.html: no ${policy} in its Content-Security-Policy`);
  const shim = `<script>(${webViewShim.toString()})(${JSON.stringify(token)});</script>`;
  const head = html.match(/<head[^>]*>/i);
  if (!head) return shim + html;
  const at = head.index + head[0].length;
  return html.slice(0, at) + shim + html.slice(at);
}

function startBridge(native, onMessage, onExit) {
  const [program, args] = bridgeCommand(native);
  const child = spawn(program, args, { stdio: ['pipe', 'pipe', 'inherit'] });
  child.stdin.on('error', () => {});
  createInterface({ input: child.stdout, crlfDelay: Infinity }).on('line', (line) => {
    const text = line.endsWith('\r') ? line.slice(0, -1) : line;
    if (text === '') return;
    try {
      JSON.parse(text);
    } catch {
      console.error(`preview: not a JSON line from the bridge: ${text}`);
      return;
    }
    onMessage(text);
  });
  child.on('exit', onExit);
  return child;
}

function openAppWindow(url, onClose) {
  const chromium = process.env.QF_CHROMIUM || '/usr/bin/chromium';
  // A profile of its own, so this window is its own browser process whose end we see.
  const profile = path.join(repoRoot, 'build/preview-profile');
  mkdirSync(profile, { recursive: true });
  const args = [`--app=${url}`, `--user-data-dir=${profile}`, '--no-first-run', '--lang=ru', '--disable-features=Translate', '--window-size=1280,860'];
  // Chromium refuses to start as root inside its sandbox (containers, CI images).
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const child = spawn(chromium, args, { stdio: 'ignore' });
  child.on('exit', (code) => {
    if (code) console.error(`preview: ${chromium} ended with ${code}`);
    onClose();
  });
  child.on('error', (e) => {
    console.error(`preview: cannot start ${chromium}: ${e.message}`);
    onClose();
  });
}

function main() {
  const options = parseArgs(process.argv.slice(2));
  const token = randomBytes(32).toString('hex');
  const page = pageWithShim(token);
  const clients = new Set();
  let bridge;

  const shutDown = (code) => {
    for (const res of clients) res.end();
    if (bridge && bridge.exitCode === null) {
      bridge.stdin.end();
      bridge.kill();
    }
    process.exit(code);
  };

  try {
    bridge = startBridge(
      options.native,
      (line) => {
        for (const res of clients) res.write(`data: ${line}\n\n`);
      },
      (code, signal) => {
        console.error(`preview: the bridge ended (${signal || code})`);
        shutDown(1);
      },
    );
  } catch (e) {
    console.error(`preview: ${e.message}`);
    process.exit(1);
  }

  const ownHost = () => `127.0.0.1:${server.address().port}`;
  const fromOwnPage = (req) => {
    const given = Buffer.from(String(req.headers['x-preview-token'] || ''));
    return req.headers.origin === `http://${ownHost()}` && given.length === token.length &&
      timingSafeEqual(given, Buffer.from(token));
  };
  const refuse = (res, why) => {
    console.error(`preview: refused ${why}`);
    res.writeHead(403);
    res.end();
  };

  const server = http.createServer((req, res) => {
    if (req.headers.host !== ownHost()) {
      refuse(res, `a request for host ${req.headers.host}`);
    } else if (req.method === 'GET' && (req.url === '/' || req.url === '/index.html')) {
      res.writeHead(200, { 'content-type': 'text/html; charset=utf-8', 'cache-control': 'no-store' });
      res.end(page);
    } else if (req.method === 'GET' && req.url === '/events') {
      res.writeHead(200, { 'content-type': 'text/event-stream', 'cache-control': 'no-store', connection: 'keep-alive' });
      res.write(': connected\n\n');
      clients.add(res);
      req.on('close', () => clients.delete(res));
    } else if (req.method === 'POST' && req.url === '/send') {
      if (!fromOwnPage(req)) {
        refuse(res, `a command from ${req.headers.origin || 'no origin'}`);
        req.resume();
        return;
      }
      const parts = [];
      req.on('data', (part) => parts.push(part));
      req.on('end', () => {
        // JSON text holds no raw line break inside a string, so outside
        // strings a break is white space: one command stays one line.
        const text = Buffer.concat(parts).toString('utf8').replace(/[\r\n]+/g, ' ');
        if (text.trim() !== '') bridge.stdin.write(text + '\n');
        res.writeHead(204);
        res.end();
      });
    } else {
      res.writeHead(404);
      res.end();
    }
  });
  // Keeps idle event streams from being dropped by anything in between.
  setInterval(() => {
    for (const res of clients) res.write(': keep-alive\n\n');
  }, 15000).unref();

  server.listen(options.port, '127.0.0.1', () => {
    const url = `http://127.0.0.1:${server.address().port}/`;
    console.log(`Preview: ${url}`);
    if (options.open) openAppWindow(url, () => shutDown(0));
  });
  process.on('SIGINT', () => shutDown(0));
  process.on('SIGTERM', () => shutDown(0));
}

main();
