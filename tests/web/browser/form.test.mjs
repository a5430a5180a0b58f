// The parameter form as a user meets it in Chromium: the landing page, a
// submission with one invalid value, the error page with the form rows, the
// corrected submission and the network settings page, which sends the browser
// to the card's new (loopback) address.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';

import { eventually, exitIfMissingTool, launchBrowser, screenshot, startSite } from './site.mjs';

await exitIfMissingTool();
const site = startSite();
const browser = await launchBrowser(site);
const { page } = browser;
after(async () => {
  await browser.close();
  site.remove();
});

const box = (oid, number) => page.locator(`input[name="${number}oid-${oid}"]`);
const field = (oid) => page.locator(`[name="oid-${oid}"]`);
const apply = () => page.locator('input[type="submit"][value="Apply"]');
const serverMessages = () => page.locator('div.errorText', { hasText: 'Invalid value' });

async function addressShown(oid) {
  const parts = [];
  for (let number = 0; number < 4; number++) parts.push(await box(oid, number).inputValue());
  return parts.join('.');
}

// Clears a box and types into it key by key, as a person does.
async function retype(locator, text) {
  await locator.click();
  await locator.press('Control+A');
  await locator.press('Backspace');
  await locator.pressSequentially(text);
}

// Presses Apply and waits for the card's answer and for `shown` to appear in
// it. (Not for the page's load event: the network settings page sends the
// browser on while it loads.)
async function submitForm(shown) {
  const [response] = await Promise.all([
    page.waitForResponse((r) => r.url() === site.url('/cgi-bin/Merovane/set') && r.request().method() === 'POST'),
    apply().click(),
  ]);
  await shown.first().waitFor({ timeout: 15000 });
  return response;
}

test('the landing page shows the sample parameters in the styled form', async () => {
  const response = await page.goto(site.url('/cgi-bin/Merovane'));
  assert.equal(response.status(), 200);
  assert.equal(await page.title(), 'Merovane controller card');
  assert.equal(await page.locator('td.formLabel').count(), 11);
  assert.equal(await addressShown('frame_ip.conf'), '127.0.0.1');
  assert.equal(await field('card_name.conf').inputValue(), 'Studio A frame 3');
  // The fragments' style and scripts arrived and work.
  assert.equal(await page.locator('td.formLabel').first().evaluate((e) => getComputedStyle(e).fontWeight), '700');
  assert.deepEqual(
    await page.evaluate(() => [typeof validateIP, typeof allowOnly, typeof writeMessageDiv]),
    ['function', 'function', 'function'],
  );
  await screenshot(page, '01-landing');
});

test('an invalid address is flagged while typing and rejected by the card', async () => {
  // Letters do not get into an address box; a number over 255 does, and is
  // flagged when the box is left.
  await retype(box('frame_ip.conf', 3), '3a0x0');
  assert.equal(await box('frame_ip.conf', 3).inputValue(), '300');
  await retype(field('card_name.conf'), 'Rack 7');
  assert.equal(await page.locator('#message-oid-frame_ip\\.conf').textContent(), 'Each of the four numbers is from 0 to 255.');
  await field('ref_source.conf').selectOption({ label: 'Genlock B' });

  const response = await submitForm(serverMessages());
  assert.equal(response.status(), 200);
  assert.deepEqual(await serverMessages().allTextContents(), ['Invalid value "127.0.0.300" for parameter: IP Address']);
  // The form again, with the values in force: nothing was applied.
  assert.equal(await page.locator('td.formLabel').count(), 11);
  assert.equal(await addressShown('frame_ip.conf'), '127.0.0.1');
  assert.equal(await field('card_name.conf').inputValue(), 'Studio A frame 3');
  assert.equal(await field('ref_source.conf').inputValue(), '1');
  assert.equal(site.read('brix/conf/frame_ip.conf'), 'IPADDR=127.0.0.1\n');
  assert.equal(site.readOrEmpty('var/log/changes.log'), '');
  await screenshot(page, '02-rejected');
});

test('the corrected form is applied and the browser is sent to the new address', async () => {
  await retype(box('frame_ip.conf', 3), '2');
  await retype(field('card_name.conf'), 'Rack 7');
  await field('ref_source.conf').selectOption({ label: 'Genlock B' });
  await page.locator('input[name="oid-fan_mode.conf"][value="1"]').check();
  await retype(field('temp_alarm.conf'), '70.25');
  assert.equal(await page.locator('#message-oid-frame_ip\\.conf').textContent(), '');

  const response = await submitForm(page.getByText('Setting network configuration...'));
  assert.equal(response.status(), 200);
  // The page's script sent the browser on to the card's new address, which
  // the guard cancelled: the browser stays on the page. Chromium stops
  // reading a page that its script sends elsewhere, so the page ends with
  // the script: the "click here" paragraph after it is never shown (the
  // tests with curl check that it is sent).
  assert.ok(await eventually(() => browser.blocked.length > 0, 5), 'the page did not send the browser on');
  assert.deepEqual(browser.blocked, ['http://127.0.0.2/']);
  assert.equal(page.url(), site.url('/cgi-bin/Merovane/set'));
  assert.equal(await page.locator('p', { hasText: 'Setting network configuration...' }).count(), 1);
  await screenshot(page, '03-network-settings');

  // The server streams the page: the change programs may still run while
  // the browser shows it. The refresh script comes after all of them.
  assert.ok(await eventually(() => site.readOrEmpty('var/log/refresh.log') !== '', 10), 'the refresh script did not run');
  assert.equal(site.read('brix/conf/frame_ip.conf'), 'IPADDR=127.0.0.2\n');
  assert.equal(site.read('brix/conf/card_name.conf'), 'NAME=Rack 7\n');
  assert.equal(site.read('brix/conf/ref_source.conf'), 'REFERENCE=2\n');
  assert.equal(site.read('brix/conf/fan_mode.conf'), 'FAN=1\n');
  assert.equal(site.read('brix/conf/temp_alarm.conf'), 'TEMP_ALARM=70.250000\n');
});

test('no page had a script error and the program no sanitizer report', () => {
  assert.deepEqual(browser.pageErrors, []);
  assert.deepEqual(site.sanitizerReports(), []);
});
