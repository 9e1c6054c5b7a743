#!/usr/bin/env node
// Writes the page's two web fonts into page/index.html as data: URLs, so that
// the page asks nothing of the network, and their licence texts into
// page/fonts/. The fonts come from the npm packages of the page tier
// (tests/page: npm ci), byte for byte; the page tier checks that the page
// still holds exactly these bytes.
//
//   node tools/page_fonts.mjs      rewrites the <style id="fonts"> element
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const modulesDir = path.join(repoRoot, 'tests/page/node_modules');

// Syne has no Cyrillic letters; Cyrillic text in it falls back to system-ui.
export const FONTS = [
  { family: 'Syne', pkg: '@fontsource-variable/syne', stem: 'syne', subsets: ['latin'], licence: 'Syne-OFL.txt' },
  {
    family: 'JetBrains Mono',
    pkg: '@fontsource-variable/jetbrains-mono',
    stem: 'jetbrains-mono',
    subsets: ['latin', 'cyrillic'],
    licence: 'JetBrainsMono-OFL.txt',
  },
];

const STYLE = /<style id="fonts">\n[\s\S]*?<\/style>\n/;

function packageDir(pkg) {
  return path.join(modulesDir, pkg);
}

// The package's own @font-face rule of one subset, upright style.
function packageRule(font, subset) {
  const css = readFileSync(path.join(packageDir(font.pkg), 'index.css'), 'utf8');
  const name = `${font.stem}-${subset}-wght-normal`;
  const rule = css.match(new RegExp(`/\\* ${name} \\*/\\n@font-face \\{([^}]*)\\}`));
  if (!rule) throw new Error(`${font.pkg} has no ${name}`);
  const field = (key) => rule[1].match(new RegExp(`${key}: ([^;]+);`))[1];
  return { weight: field('font-weight'), range: field('unicode-range'), file: `files/${name}.woff2` };
}

// The <style id="fonts"> element, one @font-face rule a line.
export function fontStyle() {
  const lines = ['<style id="fonts">'];
  for (const font of FONTS) {
    const { version } = JSON.parse(readFileSync(path.join(packageDir(font.pkg), 'package.json'), 'utf8'));
    lines.push(`/* ${font.family} (${font.subsets.join(', ')}), ${font.pkg} ${version}, SIL Open Font License 1.1: ` +
      `page/fonts/${font.licence} */`);
    for (const subset of font.subsets) {
      const { weight, range, file } = packageRule(font, subset);
      const data = readFileSync(path.join(packageDir(font.pkg), file)).toString('base64');
      lines.push(`@font-face{font-family:'${font.family}';font-style:normal;font-display:swap;font-weight:${weight};` +
        `src:url(data:font/woff2;base64,${data}) format('woff2');unicode-range:${range}}`);
    }
  }
  lines.push('</style>');
  return lines.join('\n') + '\n';
}

// The licence text each package ships, as the page's fonts carry it.
export function licences() {
  return FONTS.map((font) => ({
    file: path.join(repoRoot, 'page/fonts', font.licence),
    text: readFileSync(path.join(packageDir(font.pkg), 'LICENSE'), 'utf8'),
  }));
}

export function pageStyle(html) {
  const found = html.match(STYLE);
  return found ? found[0] : null;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const pagePath = path.join(repoRoot, 'page/index.html');
  const html = readFileSync(pagePath, 'utf8');
  if (!STYLE.test(html)) throw new Error('page/index.html has no <style id="fonts"> element');
  writeFileSync(pagePath, html.replace(STYLE, () => fontStyle()));
  for (const { file, text } of licences()) writeFileSync(file, text);
  console.log(`page/index.html: ${Buffer.byteLength(readFileSync(pagePath))} bytes`);
}
