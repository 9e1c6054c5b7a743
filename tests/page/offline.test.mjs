// The page needs nothing from outside itself: its fonts are embedded, byte for
// byte the npm packages' files, and with every request refused it loads whole,
// with no request made, nothing refused by its Content-Security-Policy and
// every font face loaded: opened from its file, and as the host shows it (its
// text given to an about:blank document, as NavigateToString does).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fontStyle, licences, pageStyle } from '../../tools/page_fonts.mjs';
import { deliver, launchBrowser, pageUrl, repoRoot, scriptedWebView } from './harness.mjs';
import { smallInit } from './fixtures.mjs';

const html = readFileSync(path.join(repoRoot, 'page/index.html'), 'utf8');

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser.close();
});

describe('the page offline', () => {
  test('holds exactly the font packages\' files and their licence texts', () => {
    const style = pageStyle(html);
    assert.ok(style, 'no <style id="fonts"> in the page');
    assert.ok(style === fontStyle(), 'the embedded fonts differ from the packages: run node tools/page_fonts.mjs');
    for (const { file, text } of licences()) assert.equal(readFileSync(file, 'utf8'), text, file);
    const bytes = Buffer.byteLength(html);
    console.log(`page document: ${bytes} bytes, of which fonts ${Buffer.byteLength(style)}`);
  });

  for (const how of ['file', 'about:blank']) {
    test(`loads whole with the network refused (${how})`, async () => {
      const context = await browser.newContext({ viewport: { width: 1280, height: 860 } });
      const requests = [];
      await context.route('**/*', (route) => {
        const url = route.request().url();
        if (url === pageUrl) return route.continue();
        requests.push(url);
        return route.abort('internetdisconnected');
      });
      await context.addInitScript(scriptedWebView);
      await context.addInitScript(() => {
        window.__violations = [];
        document.addEventListener('securitypolicyviolation', (e) => {
          window.__violations.push(`${e.effectiveDirective} ${e.blockedURI}`);
        });
      });
      const page = await context.newPage();
      const problems = [];
      page.on('pageerror', (e) => problems.push(String(e)));
      page.on('console', (m) => {
        if (m.type() === 'error' || m.type() === 'warning') problems.push(m.text());
      });
      if (how === 'file') await page.goto(pageUrl);
      else await page.setContent(html);
      await deliver(page, smallInit());
      await page.waitForSelector('#splash', { state: 'detached' });

      // Each face is asked for with text of its range, then every one must have loaded.
      const faces = await page.evaluate(async () => {
        await document.fonts.load('400 16px Syne', 'Quarnfeld');
        await document.fonts.load('800 16px Syne', 'Quarnfeld');
        await document.fonts.load('500 16px "JetBrains Mono"', 'LOG 12:00');
        await document.fonts.load('700 16px "JetBrains Mono"', 'Журнал');
        return [...document.fonts].map((f) => `${f.family} ${f.unicodeRange.split(',')[0]} ${f.status}`);
      });
      assert.deepEqual(faces, [
        'Syne U+0-FF loaded',
        'JetBrains Mono U+0-FF loaded',
        'JetBrains Mono U+301 loaded',
      ]);
      assert.deepEqual(await page.evaluate(() => window.__violations), []);
      assert.deepEqual(requests, []);
      assert.deepEqual(problems, []);
      await context.close();
    });
  }
});
