// Starts tools/preview.mjs (the Windows bridge under Wine unless QF_E2E_NATIVE
// is set) and watches its message stream as a second client, so the tests see
// every message the bridge wrote, whatever page is open at the time.
import { spawn, spawnSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { repoRoot } from '../page/harness.mjs';

export const artefactDir = path.join(repoRoot, 'tests/artefacts/e2e');

export function screenshotPath(name) {
  mkdirSync(artefactDir, { recursive: true });
  return path.join(artefactDir, name + '.png');
}

export async function startPreview() {
  const args = [path.join(repoRoot, 'tools/preview.mjs')];
  if (process.env.QF_E2E_NATIVE) args.push('--native');
  const child = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  const lines = createInterface({ input: child.stdout });
  const url = await new Promise((resolve, reject) => {
    lines.once('line', (line) => {
      const m = line.match(/^Preview: (\S+)$/);
      if (m) resolve(m[1]);
      else reject(new Error(`unexpected first line of the preview: ${line}`));
    });
    child.once('exit', (code) => reject(new Error(`the preview ended with ${code}`)));
  });

  const messages = [];
  const waiters = new Set();
  const abort = new AbortController();
  const response = await fetch(url + 'events', { signal: abort.signal });
  (async () => {
    const decoder = new TextDecoder();
    let buffered = '';
    try {
      for await (const chunk of response.body) {
        buffered += decoder.decode(chunk, { stream: true });
        let end;
        while ((end = buffered.indexOf('\n\n')) >= 0) {
          const event = buffered.slice(0, end);
          buffered = buffered.slice(end + 2);
          if (!event.startsWith('data: ')) continue;
          messages.push(JSON.parse(event.slice(6)));
          for (const check of waiters) check();
        }
      }
    } catch {
      // The stream ends when the preview stops.
    }
  })();

  // Resolves with the first message from index `from` on that passes `test`.
  function waitFor(test, { from = 0, timeout = 60000, what = 'a message' } = {}) {
    return new Promise((resolve, reject) => {
      const check = () => {
        const found = messages.slice(from).find(test);
        if (!found) return;
        clearTimeout(timer);
        waiters.delete(check);
        resolve(found);
      };
      const timer = setTimeout(() => {
        waiters.delete(check);
        reject(new Error(`no ${what} within ${timeout} ms`));
      }, timeout);
      waiters.add(check);
      check();
    });
  }

  async function stop() {
    abort.abort();
    child.kill('SIGTERM');
    await new Promise((resolve) => (child.exitCode !== null ? resolve() : child.once('exit', resolve)));
  }

  return { url, messages, waitFor, stop };
}

const wineRun = path.join(repoRoot, 'build/windows/wine-run');

export function setRegistryDword(key, name, data) {
  const result = spawnSync(wineRun, ['reg', 'add', key, '/v', name, '/t', 'REG_DWORD', '/d', String(data), '/f'], { stdio: 'ignore' });
  if (result.status !== 0) throw new Error(`reg add ${key} /v ${name} failed`);
}

// A reg.exe query in the prefix the preview's bridge runs in: the value's data, or null.
export function registryValue(key, name) {
  const result = spawnSync(wineRun, ['reg', 'query', key, '/v', name], { encoding: 'utf8' });
  if (result.status !== 0) return null;
  const line = result.stdout.split(/\r?\n/).find((l) => l.trim().startsWith(name));
  return line ? line.trim().split(/\s+/).slice(2).join(' ') : null;
}
