// The parameter form as a user meets it in Chromium: the landing page, a
// submission with one invalid value, the error page with the form rows, the
// corrected submission and the network settings page, which sends the browser
// to the card's new (loopback) address.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { eventually, setUp } from './site.mjs';

const card = await setUp();
const { page } = card;
const box = (number) => page.locator(`input[name="${number}oid-frame_ip.conf"]`);
const field = (oid) => page.locator(`[name="oid-${oid}"]`);
const rows = () => page.locator('td.formLabel');

// Clears a box and types into it key by key, as a person does.
async function retype(locator, text) {
  await locator.click();
  await locator.press('Control+A');
  await locator.press('Backspace');
  await locator.pressSequentially(text);
}

// Presses Apply and waits for `shown` in the card's answer (not for the load
// event: the network settings page sends the browser on while it loads).
async function apply(shown) {
  const [response] = await Promise.all([
    page.waitForResponse(card.url('/cgi-bin/Merovane/set')),
    page.locator('input[type="submit"][value="Apply"]').click(),
  ]);
  assert.equal(response.status(), 200);
  await shown.first().waitFor({ timeout: 15000 });
}

test('the landing page shows the styled form', async () => {
  assert.equal((await page.goto(card.url('/cgi-bin/Merovane'))).status(), 200);
  assert.equal(await rows().count(), 11);
  assert.equal(await rows().first().evaluate((e) => getComputedStyle(e).fontWeight), '700');
  await card.screenshot('01-landing');
});

test('an invalid address is flagged while typing and rejected by the card', async () => {
  // Letters do not get into an address box; a number over 255 does, and is
  // flagged when the box is left.
  await retype(box(3), '3a0x0');
  assert.equal(await box(3).inputValue(), '300');
  await retype(field('card_name.conf'), 'Rack 7');
  assert.equal(await page.locator('#message-oid-frame_ip\\.conf').textContent(), 'Each of the four numbers is from 0 to 255.');

  const messages = page.locator('div.errorText', { hasText: 'Invalid value' });
  await apply(messages);
  assert.deepEqual(await messages.allTextContents(), ['Invalid value "127.0.0.300" for parameter: IP Address']);
  // The form again, with the stored values: nothing was applied.
  assert.equal(await rows().count(), 11);
  assert.equal(await box(3).inputValue(), '1');
  assert.equal(await field('card_name.conf').inputValue(), 'Studio A frame 3');
  assert.equal(card.read('card/var/log/changes.log'), '');
  await card.screenshot('02-rejected');
});

test('the corrected form is applied and the browser is sent to the new address', async () => {
  await retype(box(3), '2');
  await retype(field('card_name.conf'), 'Rack 7');
  await field('ref_source.conf').selectOption({ label: 'Genlock B' });
  await apply(page.getByText('Setting network configuration...'));
  // The page's script sends the browser to the new address; the guard cancels
  // that, and the browser stays on the page.
  assert.ok(await eventually(() => card.blocked.length > 0, 5), 'the page did not send the browser on');
  assert.equal(page.url(), card.url('/cgi-bin/Merovane/set'));
  await card.screenshot('03-network-settings');
  // The refresh script runs after all the change programs.
  assert.ok(await eventually(() => card.read('card/var/log/refresh.log') !== '', 10), 'the refresh script did not run');
  assert.equal(card.read('card/brix/conf/frame_ip.conf'), 'IPADDR=127.0.0.2\n');
  assert.equal(card.read('card/brix/conf/card_name.conf'), 'NAME=Rack 7\n');
  assert.equal(card.read('card/brix/conf/ref_source.conf'), 'REFERENCE=2\n');
});

test('no script error, no program diagnostics, no request but to the new address', () =>
  card.expectClean(['http://127.0.0.2/']));
