// Prints HTML files to tagged PDFs with an outline in Debian's Chromium, for the tagged samples.
// Usage: node print-tagged.js SOURCE.html OUT.pdf [--sections 1,3] [--section-selector CSS]
//                             [--lang fr] [--save-html PRINTED.html]
// --sections keeps only the given top-level sections (counted from 1) of a long chapter, so that a
// sample stays a handful of pages. --lang states the page's language on its root element when the
// source states none: Chromium would write its own (en-US) as the document's language instead.
// --save-html keeps the page as printed (the kept sections, without what print does not show),
// the ground truth that the structure read back from the PDF is held against.
'use strict';
const fs = require('fs');
const path = require('path');
const { createRequire } = require('module');
const tools = createRequire(path.join(__dirname, '..', '..', 'tests', 'semantics', 'package.json'));
const { chromium } = tools('playwright-core');

const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

function ParseArgs(argv) {
  const args = { source: null, out: null, sections: [], selector: 'div.section, section',
                 lang: '', saveHtml: '' };
  const rest = [];
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--sections') args.sections = argv[++i].split(',').map(Number);
    else if (argv[i] === '--section-selector') args.selector = argv[++i];
    else if (argv[i] === '--lang') args.lang = argv[++i];
    else if (argv[i] === '--save-html') args.saveHtml = argv[++i];
    else rest.push(argv[i]);
  }
  if (rest.length !== 2 || args.sections.some(n => !Number.isInteger(n) || n < 1)) {
    throw new Error('usage: print-tagged.js SOURCE.html OUT.pdf [--sections 1,3] ' +
                    '[--section-selector CSS] [--lang LANG] [--save-html FILE]');
  }
  [args.source, args.out] = rest;
  return args;
}

async function Main() {
  const args = ParseArgs(process.argv.slice(2));
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: CHROMIUM_ARGS });
  try {
    const page = await browser.newPage();
    await page.goto('file://' + path.resolve(args.source), { waitUntil: 'load' });
    const found = await page.evaluate(({ keep, selector, lang }) => {
      if (lang) document.documentElement.lang = lang;
      // The sections whose parent is not itself a section: a chapter's top level.
      const top = Array.from(document.querySelectorAll(selector))
        .filter(el => !el.parentElement.closest(selector));
      if (keep.length) top.forEach((el, i) => { if (!keep.includes(i + 1)) el.remove(); });
      return top.length;
    }, { keep: args.sections, selector: args.selector, lang: args.lang });
    if (args.sections.some(n => n > found)) {
      throw new Error(`${args.source} has ${found} top-level sections`);
    }
    await page.pdf({ path: args.out, format: 'A4', tagged: true, outline: true, printBackground: true,
                     margin: { top: '15mm', bottom: '15mm', left: '15mm', right: '15mm' } });
    if (args.saveHtml) {
      await page.emulateMedia({ media: 'print' });
      const printed = await page.evaluate(() => {
        const unseen = Array.from(document.body.querySelectorAll('*')).filter(el => {
          const style = getComputedStyle(el);
          return style.display === 'none' || style.visibility === 'hidden';
        });
        unseen.forEach(el => el.remove());
        document.querySelectorAll('script').forEach(el => el.remove());
        return '<!DOCTYPE html>\n' + document.documentElement.outerHTML + '\n';
      });
      fs.writeFileSync(args.saveHtml, printed);
    }
  } finally {
    await browser.close();
  }
}

Main().catch(err => { console.error(err.message || err); process.exit(1); });
