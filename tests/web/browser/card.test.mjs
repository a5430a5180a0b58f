// The sample card served by lighttpd over https, in Debian's Chromium driven by Playwright: the
// parameter form applied, then a software update watched to its Reboot. The browser reaches
// nothing but the test server (and the card's new address): every other request is aborted before
// it leaves. A wait for what merely takes long is bounded at a minute, for a busy machine.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { chmodSync, mkdtempSync, readdirSync, readFileSync, renameSync, rmSync, writeFileSync }
  from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';

const env = process.env, program = '/cgi-bin/Merovane';
const { MEROVANE_WEB_USER: username, MEROVANE_WEB_PASSWORD: password } = env;
const playwright = await import('playwright-core').catch(() => {
  console.error('no playwright-core (npm ci)'); // a failure as root, a skip otherwise
  process.exit(process.getuid() === 0 ? 1 : 77);
});
const cardSite = (...args) =>
  execFileSync(join(env.MEROVANE_SOURCE_DIR, 'scripts', 'card-site'), args, { encoding: 'utf8' });
const root = mkdtempSync(join(tmpdir(), 'merovane-web-')), site = join(root, 'site');
chmodSync(root, 0o755); // the program's user 1006 must pass
cardSite('install', site, env.MEROVANE_PROGRAM, env.MEROVANE_PICS, env.MEROVANE_FORM);
const [port] = cardSite('start', '--owner', `${process.pid}`, '--tls', join(root, 'tls'),
  '--user', username, '--password', password, site).split(' ');
const url = (path) => `https://127.0.0.1:${port}${path}`, newAddress = `https://127.0.0.2:${port}/`;
const browser = await playwright.chromium.launch({ executablePath: '/usr/bin/chromium' });
after(async () => {
  await browser.close();
  cardSite('stop', site);
  rmSync(root, { recursive: true, force: true });
});
const context = await browser.newContext({ httpCredentials: { username, password },
  ignoreHTTPSErrors: true });
context.setDefaultTimeout(60000);
const blocked = [], pageErrors = [];
await context.route('**/*', (route) => {
  const to = route.request().url();
  if (to.startsWith(url('/')) || to === newAddress) return route.continue();
  blocked.push(to);
  return route.abort();
});
const page = await context.newPage();
page.on('pageerror', (error) => pageErrors.push(String(error)));
let statusLoads = 0;
page.on('response', (r) => {
  statusLoads += new URL(r.url()).pathname === `${program}/uploadstatus`;
});
const file = (path) => join(site, path);
const read = (path) => { try { return readFileSync(file(path), 'utf8'); } catch { return ''; } };
const eventually = async (check) => { // polls every 100 ms, a minute at most
  for (let n = 0; n < 600 && !check(); n++) await new Promise((r) => setTimeout(r, 100));
  return check();
};
const screenshot = (name) =>
  page.screenshot({ path: join(env.MEROVANE_SCREENSHOTS, `${name}.png`), fullPage: true });
const field = (name) => page.locator(`[name="${name}"]`);
const retype = async (name, text) => { // key by key
  await field(name).fill('');
  await field(name).pressSequentially(text);
};
// The width of a progress bar image once Chromium has fetched and decoded it.
const imageWidth = (src) => page.locator(`.progressbar img[src="${src}"]`)
  .evaluate((i) => (i.complete ? i.naturalWidth : 0));

test('the form is applied in full although the browser leaves at once', async () => {
  assert.equal((await page.goto(url(program))).status(), 200);
  const label = page.locator('td.formLabel').first();
  assert.equal(await label.evaluate((e) => getComputedStyle(e).fontWeight), '700');
  await screenshot('01-landing');
  // Letters do not get into an address box; a number over 255 does, and is flagged when the box
  // is left.
  const message = page.locator('#message-oid-frame_ip\\.conf');
  await retype('3oid-frame_ip.conf', '3a0x0');
  assert.equal(await field('3oid-frame_ip.conf').inputValue(), '300');
  await field('oid-card_name.conf').click();
  assert.equal(await message.textContent(), 'Each of the four numbers is from 0 to 255.');
  await retype('3oid-frame_ip.conf', '2');
  await retype('oid-card_name.conf', 'Rack 7');
  assert.equal(await message.textContent(), '');
  await field('oid-ref_source.conf').selectOption({ label: 'Genlock B' });
  // Change programs that write to the response and take their time; nothing listens at the new
  // address (on the port the page came by), where the page sends the browser at once.
  const setparam = file('card/brix/bin/setparam');
  renameSync(setparam, `${setparam}.real`);
  writeFileSync(setparam,
    '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n',
    { mode: 0o755 });
  const left = page.waitForEvent('requestfailed', (r) => r.url() === newAddress);
  const [response] = await Promise.all([page.waitForResponse(url(`${program}/set`)),
    page.locator('input[type="submit"][value="Apply"]').click()]);
  assert.equal(response.status(), 200);
  await left;
  await screenshot('02-left-for-the-new-address');
  // The refresh runs after all the change programs. Poll Interval and SNMP Traps are not in the
  // form and stay.
  assert.ok(await eventually(() => read('card/var/log/refresh.log') !== ''),
    'the refresh script did not run');
  const files = readdirSync(file('card/brix/conf'));
  assert.deepEqual(files.map((name) => read(`card/brix/conf/${name}`)).sort(),
    ['DHCP=0', 'FAN=0', 'GATEWAY=127.0.0.254', 'IPADDR=127.0.0.2', 'NAME=Rack 7',
      'NETMASK=255.0.0.0', 'POLL=30', 'REFERENCE=2', 'SERIAL=MRV-0042-1187', 'TEMP_ALARM=65.500000',
      'TRAPS=1', 'VERSION=3.2.1 (build 2026-11-04)'].map((line) => `${line}\n`));
  // The refresh has rebuilt the landing page: it shows the new name.
  await page.goto(url(`${program}/cardcontrol`));
  assert.equal(await field('oid-card_name.conf').inputValue(), 'Rack 7');
});

// Still on the address the server listens at: the status page reloads itself while the simulated
// updater runs and ends with the Reboot button, which leads to the rebooting page; the card's
// reboot stand-in records one request.
test('the status page reloads while the update runs and ends with Reboot, which reboots once',
  async () => {
    spawn(file('card/brix/bin/simulate-update'), ['--steps', '8', '--step', '0.6'],
      { stdio: 'ignore' });
    assert.ok(await eventually(() => read('card/tmp/progress') !== ''),
      'the simulator wrote no progress file');
    await page.goto(url(program));
    await page.getByRole('link', { name: 'Update status' }).first().click();
    assert.equal(await imageWidth('/pics/progressbar.gif'), 320);
    await screenshot('03-update-running');
    const reboot = page.locator('input[type="submit"][value="Reboot"]');
    await reboot.waitFor();
    assert.ok(statusLoads >= 3, `the status page loaded ${statusLoads} times, not reloading`);
    assert.equal(await imageWidth('/pics/progressbar-done.gif'), 320);
    await Promise.all([page.waitForResponse(url(`${program}/reboot`)), reboot.click()]);
    await screenshot('04-rebooting');
    const rebooted = () => read('card/var/log/reboot.log').split('\n').length === 2;
    assert.ok(await eventually(rebooted), 'the reboot command did not run once');
  });

// No script error, no diagnostics of the program (sanitizer reports among them), no request
// beyond the server.
test('no script error, no program diagnostics, nothing sent beyond the test server', () =>
  assert.deepEqual([pageErrors, read('card/tmp/wwwError.txt') + read('server/cgi-stderr.log'),
    blocked], [[], '', []]));
