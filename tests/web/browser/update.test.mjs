// A software update watched in Chromium: the status page reloads itself while the simulated updater
// runs and ends with the Reboot button, which leads to the rebooting page; the card's reboot
// stand-in records one request.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { test } from 'node:test';

import { eventually, patience, setUp } from './site.mjs';

const card = await setUp(), { page } = card;
const program = '/cgi-bin/Merovane';
let statusLoads = 0;
page.on('response', (r) => {
  statusLoads += new URL(r.url()).pathname === `${program}/uploadstatus`;
});
// The width of a progress bar image once Chromium has fetched and decoded it.
const imageWidth = (src) => page.locator(`.progressbar img[src="${src}"]`)
  .evaluate((i) => (i.complete ? i.naturalWidth : 0));

test('the status page reloads while the update runs and ends with Reboot, which reboots once',
  async () => {
    spawn(card.file('card/brix/bin/simulate-update'), ['--steps', '8', '--step', '0.6'],
      { stdio: 'ignore' });
    assert.ok(await eventually(() => card.read('card/tmp/progress') !== '', patience),
      'the simulator wrote no progress file');
    await page.goto(card.url(program));
    await page.getByRole('link', { name: 'Update status' }).first().click();
    assert.equal(await imageWidth('/pics/progressbar.gif'), 320);
    await card.screenshot('03-update-running');
    const reboot = page.locator('input[type="submit"][value="Reboot"]');
    await reboot.waitFor({ timeout: patience * 1000 });
    assert.ok(statusLoads >= 3, `the status page loaded ${statusLoads} times, not reloading`);
    assert.equal(await imageWidth('/pics/progressbar-done.gif'), 320);
    await Promise.all([page.waitForResponse(card.url(`${program}/reboot`)), reboot.click()]);
    await card.screenshot('04-rebooting');
    const rebooted = () => card.read('card/var/log/reboot.log').split('\n').length === 2;
    assert.ok(await eventually(rebooted, patience), 'the reboot command did not run once');
  });

test('no script error, no program diagnostics, nothing sent beyond the test server',
  () => card.expectClean());
