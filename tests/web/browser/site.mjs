// The sample card served by lighttpd over https, and Debian's Chromium driven by Playwright. The
// browser reaches nothing but the loopback test server (and the URLs a test allows): every other
// request is aborted before it leaves. It trusts the site's own certificate, and no other that its
// store does not hold.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, X509Certificate } from 'node:crypto';
import { chmodSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after } from 'node:test';

const { MEROVANE_SOURCE_DIR: sourceDir, MEROVANE_PROGRAM: program, MEROVANE_FORM: form } =
  process.env;
const { MEROVANE_PICS: pics, MEROVANE_SCREENSHOTS: shots } = process.env;
const { MEROVANE_WEB_USER: username, MEROVANE_WEB_PASSWORD: password } = process.env;

// A fresh sample card on a free loopback port and a fresh headless Chromium logged in as its user,
// both gone after the file's tests; `file` and `read` take site paths. Without playwright-core: a
// failure as root, a skip (77) otherwise.
export async function setUp() {
  assert.ok(sourceDir && program && form && pics && shots && username && password,
    'run the test through ctest');
  const playwright = await import('playwright-core').catch(() => null);
  if (!playwright) {
    console.error('no playwright-core (npm ci)');
    process.exit(process.getuid() === 0 ? 1 : 77);
  }
  const cardSite = (...args) =>
    execFileSync(join(sourceDir, 'scripts', 'card-site'), args, { encoding: 'utf8' });
  const root = mkdtempSync(join(tmpdir(), 'merovane-web-')), site = join(root, 'site');
  chmodSync(root, 0o755); // the program's user 1006 must pass
  cardSite('install', site, program, pics, form);
  const [port] = cardSite('start', '--owner', `${process.pid}`, '--tls', join(root, 'tls'),
    '--user', username, '--password', password, site).split(' ');
  const origin = `https://127.0.0.1:${port}`;
  // Chromium takes certificate errors for a chain that holds this public key (and no other) as
  // none.
  const publicKey = new X509Certificate(readFileSync(join(root, 'tls', 'card.crt'))).publicKey;
  const spki = createHash('sha256').update(publicKey.export({ type: 'spki', format: 'der' }))
    .digest('base64');
  const context = await playwright.chromium.launchPersistentContext(join(root, 'profile'), {
    executablePath: '/usr/bin/chromium', headless: true, viewport: { width: 1000, height: 900 },
    httpCredentials: { username, password },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--ignore-certificate-errors-spki-list=${spki}`],
  });
  after(async () => {
    await context.close();
    cardSite('stop', site);
    rmSync(root, { recursive: true, force: true });
  });
  const blocked = [], allowed = [], pageErrors = [];
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (new URL(url).origin === origin || allowed.includes(url)) return route.continue();
    blocked.push(url);
    return route.abort();
  });
  const page = context.pages()[0] ?? (await context.newPage());
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  const file = (path) => join(site, path);
  const read = (path) => (existsSync(file(path)) ? readFileSync(file(path), 'utf8') : '');
  mkdirSync(shots, { recursive: true });
  return {
    page, allowed, origin, file, read, url: (path) => origin + path,
    screenshot: (name) => page.screenshot({ path: join(shots, `${name}.png`), fullPage: true }),
    // No script error, no diagnostics of the program (sanitizer reports among them), no request
    // beyond the server.
    expectClean: () => assert.deepEqual(
      [pageErrors, read('card/tmp/wwwError.txt') + read('server/cgi-stderr.log'), blocked],
      [[], '', []]),
  };
}

// The bound of a wait for what merely takes long on a busy machine: it costs nothing when the
// event comes at once.
export const patience = 60;

// Waits until `check` returns true, polling every 100 ms; false on time-out.
export async function eventually(check, seconds) {
  for (let waited = 0; waited < seconds * 10 && !(await check()); waited++) {
    await new Promise((r) => setTimeout(r, 100));
  }
  return check();
}
