// The sample card served by lighttpd, and Debian's Chromium driven by
// Playwright, for the browser tests. The browser reaches nothing but the
// loopback test server: every other request is aborted before it leaves.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { chmodSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after } from 'node:test';

const { MEROVANE_SOURCE_DIR: sourceDir, MEROVANE_PROGRAM: program, MEROVANE_PICS: pics } = process.env;
const { MEROVANE_WEB_USER: username, MEROVANE_WEB_PASSWORD: password } = process.env;
const screenshotDir = process.env.MEROVANE_SCREENSHOTS;
const chromiumPath = '/usr/bin/chromium';

// Ends the process before any test when something is missing: a failure as
// root (the test command installs everything), a skip (77) otherwise.
async function exitIfMissing() {
  let missing = null;
  if (!sourceDir || !program || !pics || !screenshotDir || !username || !password) missing = 'run the test through ctest';
  else if (!existsSync(chromiumPath)) missing = `no Chromium at ${chromiumPath} (Debian package chromium)`;
  else if (!existsSync('/usr/sbin/lighttpd')) missing = 'no lighttpd (Debian package lighttpd)';
  else await import('playwright-core').catch(() => (missing = 'no playwright-core (npm ci in the repository)'));
  if (missing === null) return;
  console.error(missing);
  process.exit(process.getuid() === 0 ? 1 : 77);
}

// A fresh copy of the sample card on a free loopback port, and headless
// Chromium with a fresh profile and its background networking off, which logs
// in with the site's user and password when the server asks; both go
// after the file's tests. Paths of `file` and `read` are the site's: card/...,
// www/..., server/...
export async function setUp() {
  await exitIfMissing();
  const cardSite = (...args) => execFileSync(join(sourceDir, 'scripts', 'card-site'), args, { encoding: 'utf8' });
  const root = mkdtempSync(join(tmpdir(), 'merovane-web-'));
  chmodSync(root, 0o755); // the program's user 1006 must pass
  const site = join(root, 'site');
  cardSite('install', site, program, pics);
  const origin = `http://127.0.0.1:${cardSite('start', '--owner', String(process.pid), '--user', username, '--password', password, site).trim()}`;
  const { chromium } = await import('playwright-core');
  const context = await chromium.launchPersistentContext(join(root, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
    viewport: { width: 1000, height: 900 },
    httpCredentials: { username, password },
  });
  after(async () => {
    await context.close();
    cardSite('stop', site);
    rmSync(root, { recursive: true, force: true });
  });
  const blocked = [];
  const allowed = []; // URLs a test lets through: loopback addresses where nothing listens
  const pageErrors = [];
  // "aborted" cancels a request as a user's Stop would: a page that tries to
  // send the browser elsewhere stays where it was.
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (new URL(url).origin === origin || allowed.includes(url)) return route.continue();
    blocked.push(route.request().url());
    return route.abort('aborted');
  });
  const page = context.pages()[0] ?? (await context.newPage());
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  const file = (path) => join(site, path);
  const read = (path) => (existsSync(file(path)) ? readFileSync(file(path), 'utf8') : '');
  return {
    page, blocked, allowed, origin, file, read,
    url: (path) => origin + path,
    async screenshot(name) {
      mkdirSync(screenshotDir, { recursive: true });
      await page.screenshot({ path: join(screenshotDir, `${name}.png`), fullPage: true });
    },
    // What the pages do not show: script errors, the program's diagnostics
    // (sanitizer reports among them), requests beyond the test server.
    expectClean(expectedBlocked = []) {
      assert.deepEqual(pageErrors, []);
      assert.equal(read('card/tmp/wwwError.txt') + read('server/cgi-stderr.log'), '');
      assert.deepEqual(blocked, expectedBlocked);
    },
  };
}

// Waits until `check` returns true, polling every 100 ms; false on time-out.
export async function eventually(check, seconds) {
  for (let waited = 0; waited < seconds * 10; waited++) {
    if (await check()) return true;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return check();
}
