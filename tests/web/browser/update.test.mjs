// A software update watched in Chromium: the status page reloads itself while
// the simulated updater runs, ends with the Reboot button, and the button
// leads to the rebooting page; the card's reboot stand-in records the request.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { test } from 'node:test';

import { eventually, setUp } from './site.mjs';

const card = await setUp();
const { page } = card;
let statusLoads = 0;
page.on('response', (response) => {
  if (new URL(response.url()).pathname === '/cgi-bin/Merovane/uploadstatus') statusLoads++;
});
// The width of a progress bar image once Chromium has fetched and decoded it.
const imageWidth = (src) =>
  page.locator(`.progressbar img[src="${src}"]`).evaluate((image) => (image.complete ? image.naturalWidth : 0));

test('the status page reloads while the update runs', async () => {
  spawn(card.file('card/brix/bin/simulate-update'), ['--steps', '8', '--step', '0.6'], { stdio: 'ignore' });
  assert.ok(await eventually(() => card.read('card/tmp/progress') !== '', 5), 'the simulator wrote no progress file');
  await page.goto(card.url('/cgi-bin/Merovane'));
  await page.getByRole('link', { name: 'Update status' }).first().click();
  assert.equal(await page.locator('.progressbar-message').textContent(), 'Update in progress');
  assert.equal(await imageWidth('/pics/progressbar.gif'), 320);
  await card.screenshot('04-update-running');
});

test('the page ends with the Reboot button, which leads to the rebooting page and one reboot', async () => {
  const reboot = page.locator('input[type="submit"][value="Reboot"]');
  await reboot.waitFor({ timeout: 30000 });
  assert.ok(statusLoads >= 3, `the status page loaded ${statusLoads} times, expected it to reload`);
  assert.equal(await imageWidth('/pics/progressbar-done.gif'), 320);
  await card.screenshot('05-update-complete');

  const [response] = await Promise.all([page.waitForResponse(card.url('/cgi-bin/Merovane/reboot')), reboot.click()]);
  assert.equal(response.headers().refresh, `30; ${card.origin}`);
  assert.equal(await page.locator('h1').textContent(), 'Card is rebooting');
  await card.screenshot('06-rebooting');
  assert.ok(await eventually(() => card.read('card/var/log/reboot.log') !== '', 8), 'the reboot command did not run');
  assert.equal(card.read('card/var/log/reboot.log').trim().split('\n').length, 1);
});

test('no script error, no program diagnostics, nothing sent beyond the test server', () => card.expectClean());
