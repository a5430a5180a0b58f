// The sample card served by lighttpd, and Debian's Chromium driven by
// Playwright, for the browser tests. The browser reaches nothing but the
// loopback test server: every other request is aborted before it leaves.
import { execFileSync } from 'node:child_process';
import { chmodSync, mkdirSync, mkdtempSync, readFileSync, rmSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const sourceDir = process.env.MEROVANE_SOURCE_DIR;
const program = process.env.MEROVANE_PROGRAM;
const pics = process.env.MEROVANE_PICS;
const screenshotDir = process.env.MEROVANE_SCREENSHOTS;
export const chromiumPath = '/usr/bin/chromium';

const cardSite = () => join(sourceDir, 'scripts', 'card-site');

// Ends the process before any test when a tool is missing: a failure as
// root (the test command installs everything), a skip (77) otherwise.
export async function exitIfMissingTool() {
  const missing = await missingTool();
  if (missing === null) return;
  if (process.getuid() === 0) {
    console.error(`FAIL: ${missing}; ./scripts/test installs it`);
    process.exit(1);
  }
  console.error(`SKIP: ${missing}`);
  process.exit(77);
}

// What keeps a test from running at all; null when everything is there.
async function missingTool() {
  for (const [name, value] of Object.entries({ MEROVANE_SOURCE_DIR: sourceDir, MEROVANE_PROGRAM: program, MEROVANE_PICS: pics, MEROVANE_SCREENSHOTS: screenshotDir })) {
    if (!value) return `${name} is not set (run the test through ctest)`;
  }
  if (!existsSync(chromiumPath)) return `no Chromium at ${chromiumPath} (Debian package: chromium)`;
  if (!existsSync('/usr/sbin/lighttpd')) return 'lighttpd is not installed (Debian package: lighttpd)';
  try {
    await import('playwright-core');
  } catch {
    return 'the npm package playwright-core is missing (npm ci in the repository)';
  }
  return null;
}

// A fresh copy of the sample card, served on a free loopback port.
export function startSite() {
  const root = mkdtempSync(join(tmpdir(), 'merovane-web-'));
  chmodSync(root, 0o755);  // the program's user 1006 must pass
  const site = join(root, 'site');
  execFileSync(cardSite(), ['install', site, program, pics], { stdio: ['ignore', 'inherit', 'inherit'] });
  const port = Number(execFileSync(cardSite(), ['start', '--owner', String(process.pid), site], { encoding: 'utf8' }).trim());
  let stopped = false;
  const stop = () => {
    if (stopped) return;
    stopped = true;
    execFileSync(cardSite(), ['stop', site], { stdio: 'inherit' });
  };
  process.on('exit', stop);
  return {
    root,
    site,
    port,
    origin: `http://127.0.0.1:${port}`,
    url: (path) => `http://127.0.0.1:${port}${path}`,
    cardFile: (path) => join(site, 'card', path),
    read: (path) => readFileSync(join(site, 'card', path), 'utf8'),
    readOrEmpty: (path) => (existsSync(join(site, 'card', path)) ? readFileSync(join(site, 'card', path), 'utf8') : ''),
    // Sanitizer reports among what the program wrote to standard error.
    sanitizerReports() {
      const log = join(site, 'server', 'cgi-stderr.log');
      if (!existsSync(log)) return [];
      return readFileSync(log, 'utf8').split('\n').filter((line) => /AddressSanitizer|LeakSanitizer|runtime error:/.test(line));
    },
    stop,
    remove() {
      stop();
      rmSync(root, { recursive: true, force: true });
    },
  };
}

// Headless Chromium with a fresh profile, its background networking off, and
// a route guard that lets only the test server's own origin through.
export async function launchBrowser(site) {
  const { chromium } = await import('playwright-core');
  const profile = mkdtempSync(join(tmpdir(), 'merovane-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
    viewport: { width: 1000, height: 900 },
  });
  const blocked = [];
  await context.route('**/*', (route) => {
    const request = route.request();
    if (new URL(request.url()).origin === site.origin) {
      return route.continue();
    }
    blocked.push(request.url());
    // "aborted" cancels the request as a user's Stop would: a page that
    // tried to send the browser elsewhere stays where it was.
    return route.abort('aborted');
  });
  const page = context.pages()[0] ?? (await context.newPage());
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  return {
    context,
    page,
    blocked,
    pageErrors,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
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

export async function screenshot(page, name) {
  mkdirSync(screenshotDir, { recursive: true });
  const path = join(screenshotDir, `${name}.png`);
  await page.screenshot({ path, fullPage: true });
  return path;
}
