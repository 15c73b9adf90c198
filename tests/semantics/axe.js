// Runs axe-core in Debian's headless Chromium on HTML files and prints the rule violations as JSON.
// Usage: node axe.js [--rules a,b] [--fail-on a,b] FILE.html...
// Exit status: 0 when no file breaks a rule of --fail-on (by default every rule run), 1 when one
// does, 2 when a file cannot be checked. The pinned packages are installed with npm ci the first
// time.
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

// What a reader of a converted document needs from its markup. page-has-heading-one is the one
// best-practice rule among them: a document without any heading has no way in for a reader.
const DEFAULT_RULES = ['document-title', 'html-has-lang', 'html-lang-valid', 'landmark-one-main',
  'region', 'link-name', 'image-alt', 'role-img-alt', 'svg-img-alt', 'list', 'listitem',
  'th-has-data-cells', 'td-headers-attr', 'heading-order', 'page-has-heading-one'];
const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Installs into a folder of its own and moves node_modules into place at once, so that two runs
// started together do not install over each other.
function EnsurePackages() {
  const target = path.join(__dirname, 'node_modules');
  if (fs.existsSync(path.join(target, '.package-lock.json'))) return;
  const work = fs.mkdtempSync(path.join(__dirname, '.install-'));
  try {
    for (const file of ['package.json', 'package-lock.json']) {
      fs.copyFileSync(path.join(__dirname, file), path.join(work, file));
    }
    childProcess.execFileSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'],
                              { cwd: work, stdio: ['ignore', process.stderr, process.stderr] });
    try {
      fs.renameSync(path.join(work, 'node_modules'), target);
    } catch (err) {
      if (!fs.existsSync(path.join(target, '.package-lock.json'))) throw err;
    }
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
}

function ParseArgs(argv) {
  const args = { rules: DEFAULT_RULES, failOn: null, files: [] };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--rules') args.rules = argv[++i].split(',').filter(Boolean);
    else if (argv[i] === '--fail-on') args.failOn = argv[++i].split(',').filter(Boolean);
    else if (argv[i].startsWith('--')) throw new Error(`unknown option ${argv[i]}`);
    else args.files.push(argv[i]);
  }
  if (!args.files.length || !args.rules.length) {
    throw new Error('usage: axe.js [--rules a,b] [--fail-on a,b] FILE.html...');
  }
  args.failOn = args.failOn || args.rules;
  return args;
}

async function CheckFile(context, axeSource, file, rules) {
  const page = await context.newPage();
  try {
    await page.goto('file://' + path.resolve(file), { waitUntil: 'load', timeout: 120000 });
    await page.addScriptTag({ content: axeSource });
    const result = await page.evaluate(rules => window.axe.run(document, {
      runOnly: { type: 'rule', values: rules }, resultTypes: ['violations'] }), rules);
    return result.violations.map(v => ({
      rule: v.id, impact: v.impact, help: v.help, nodes: v.nodes.length,
      targets: v.nodes.slice(0, 3).map(n => n.target.join(' ')) }));
  } finally {
    await page.close();
  }
}

async function Main() {
  let args;
  try {
    args = ParseArgs(process.argv.slice(2));
  } catch (err) {
    console.error(err.message);
    return 2;
  }
  for (const file of args.files) {
    if (!fs.existsSync(file)) {
      console.error(`no such file: ${file}`);
      return 2;
    }
  }
  EnsurePackages();
  const { chromium } = require('playwright-core');
  const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'axe-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', args: CHROMIUM_ARGS, headless: true,
    // The converted pages forbid scripts of their own; axe is put in from outside.
    bypassCSP: true });
  let failed = false;
  const report = [];
  try {
    for (const file of args.files) {
      const violations = await CheckFile(context, axeSource, file, args.rules);
      const breaking = violations.filter(v => args.failOn.includes(v.rule)).map(v => v.rule);
      failed = failed || breaking.length > 0;
      report.push({ file, violations, failing: breaking });
    }
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(JSON.stringify(report, null, 1));
  return failed ? 1 : 0;
}

Main().then(code => { process.exitCode = code; },
            err => { console.error(err.stack || String(err)); process.exitCode = 2; });
