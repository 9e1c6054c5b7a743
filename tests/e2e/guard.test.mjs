// The preview runs tweaks for its own page only. Commands from a page of
// another origin (in Chromium, as a site the developer has open would send
// them), from the right origin without the start's token, and requests that
// name another host (a name rebound to 127.0.0.1) are refused before the
// bridge sees them: the page's own "ready" then brings the only "init".
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { launchBrowser } from '../page/harness.mjs';
import { startPreview } from './preview.mjs';

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

function request(url, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request(url, { method, headers }, (res) => {
      res.resume();
      resolve(res.statusCode);
    });
    req.on('error', reject);
    req.end(body);
  });
}

describe('the preview', () => {
  test('refuses commands that do not come from its own page', async () => {
    const own = new URL(preview.url);
    const ready = '{"cmd":"ready"}';

    // A foreign site in the browser posts a command, as a form or script may.
    const foreign = http.createServer((req, res) => {
      res.writeHead(200, { 'content-type': 'text/html' });
      res.end(`<script>fetch(${JSON.stringify(preview.url + 'send')}, {method: 'POST', mode: 'no-cors', body: '${ready}'})
        .then(() => { document.title = 'sent'; }, () => { document.title = 'failed'; });</script>`);
    });
    await new Promise((resolve) => foreign.listen(0, '127.0.0.1', resolve));
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(`http://127.0.0.1:${foreign.address().port}/`);
    await page.waitForFunction(() => document.title !== '');
    await context.close();
    foreign.close();

    const statuses = [
      await request(preview.url + 'send', { method: 'POST', headers: { origin: 'http://attacker.example' }, body: ready }),
      await request(preview.url + 'send', { method: 'POST', body: ready }),
      await request(preview.url + 'send', { method: 'POST', headers: { origin: own.origin }, body: ready }),
      await request(preview.url + 'send', { method: 'POST', headers: { origin: own.origin, 'x-preview-token': '0'.repeat(64) }, body: ready }),
      await request(preview.url, { headers: { host: `rebound.example:${own.port}` } }),
    ];
    assert.deepEqual(statuses, [403, 403, 403, 403, 403]);

    // The page's own command goes through, and its "init" is the only one.
    const context2 = await browser.newContext();
    const ownPage = await context2.newPage();
    await ownPage.goto(preview.url);
    await preview.waitFor((m) => m.type === 'init', { what: 'init' });
    await ownPage.waitForSelector('#splash', { state: 'detached' });
    assert.equal(preview.messages.filter((m) => m.type === 'init').length, 1);
    await context2.close();
  });
});
