// A software update watched in Chromium: the status page reloads itself while
// the (simulated) updater runs, ends with the Reboot button, and the button
// leads to the rebooting page; the card's reboot stand-in records the request.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { after, test } from 'node:test';

import { eventually, exitIfMissingTool, launchBrowser, screenshot, startSite } from './site.mjs';

await exitIfMissingTool();
const site = startSite();
const browser = await launchBrowser(site);
const { page } = browser;
let simulator = null;
after(async () => {
  simulator?.kill();
  await browser.close();
  site.remove();
});

const statusLoads = [];
page.on('response', (response) => {
  if (new URL(response.url()).pathname === '/cgi-bin/Merovane/uploadstatus') statusLoads.push(response.status());
});

// Whether an image on the page was fetched and decoded, at its full width.
const imageWidth = (src) =>
  page.locator(`.progressbar img[src="${src}"]`).evaluate((image) => (image.complete ? image.naturalWidth : 0));

test('the status page reloads while the update runs', async () => {
  simulator = spawn(site.cardFile('brix/bin/simulate-update'), ['--steps', '8', '--step', '0.6'], { stdio: 'ignore' });
  assert.ok(await eventually(() => site.readOrEmpty('tmp/progress') !== '', 5), 'the simulator wrote no progress file');

  await page.goto(site.url('/cgi-bin/Merovane'));
  await Promise.all([page.waitForLoadState('load'), page.getByRole('link', { name: 'Update status' }).first().click()]);
  assert.equal(new URL(page.url()).pathname, '/cgi-bin/Merovane/uploadstatus');
  assert.equal(await page.locator('.progressbar-message').textContent(), 'Update in progress');
  assert.equal(await imageWidth('/pics/progressbar.gif'), 320);
  await screenshot(page, '04-update-running');
});

test('the page ends with the Reboot button when the update has completed', async () => {
  const reboot = page.locator('input[type="submit"][value="Reboot"]');
  await reboot.waitFor({ timeout: 30000 });
  assert.ok(statusLoads.length >= 3, `the page loaded ${statusLoads.length} times, expected it to reload`);
  assert.equal(await page.locator('.progressbar-message').textContent(), 'Upload Complete');
  assert.equal(await imageWidth('/pics/progressbar-done.gif'), 320);
  assert.equal(site.readOrEmpty('tmp/progress'), '', 'the progress file was not deleted');
  await screenshot(page, '05-update-complete');
});

test('the Reboot button leads to the rebooting page and one reboot', async () => {
  const [response] = await Promise.all([
    page.waitForResponse((r) => r.url() === site.url('/cgi-bin/Merovane/reboot')),
    page.locator('input[type="submit"][value="Reboot"]').click(),
  ]);
  await page.waitForLoadState('load');
  assert.equal(response.request().method(), 'POST');
  assert.equal(response.request().headers().referer, site.url('/cgi-bin/Merovane/uploadstatus'));
  assert.equal(response.headers().refresh, `30; http://127.0.0.1:${site.port}`);
  assert.equal(await page.locator('h1').textContent(), 'Card is rebooting');
  await screenshot(page, '06-rebooting');

  assert.ok(await eventually(() => site.readOrEmpty('var/log/reboot.log') !== '', 8), 'the reboot command did not run');
  const records = site.read('var/log/reboot.log').trim().split('\n');
  assert.equal(records.length, 1);
  assert.match(records[0], / reboot \[\.\.\/\.\.\/card\/sbin\/reboot\]$/);
});

test('no script error, no sanitizer report, nothing sent beyond the test server', () => {
  assert.deepEqual(browser.pageErrors, []);
  assert.deepEqual(site.sanitizerReports(), []);
  assert.deepEqual(browser.blocked, []);
});
