// The parameter form as a user meets it in Chromium: the landing page, a
// submission with one invalid value, the error page with the form rows, the
// corrected submission and the network settings page, which sends the browser
// to the card's new (loopback) address at once.
import assert from 'node:assert/strict';
import { readdirSync, renameSync, writeFileSync } from 'node:fs';
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

// Presses Apply and waits for `shown` (if any) in the card's answer (not for
// the load event: the network settings page sends the browser on while it
// loads).
async function apply(shown) {
  const [response] = await Promise.all([
    page.waitForResponse(card.url('/cgi-bin/Merovane/set')),
    page.locator('input[type="submit"][value="Apply"]').click(),
  ]);
  assert.equal(response.status(), 200);
  await shown?.first().waitFor({ timeout: 15000 });
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

test('the corrected form is applied in full although the browser leaves at once', async () => {
  // Change programs that write to the response and take their time: the
  // browser leaves, and the server ends the request, while they still run.
  const setparam = card.file('card/brix/bin/setparam');
  renameSync(setparam, `${setparam}.real`);
  writeFileSync(setparam, '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n', { mode: 0o755 });
  // The page's script sends the browser to the new address, where nothing
  // listens.
  card.allowed.push('http://127.0.0.2/');
  const left = page.waitForEvent('requestfailed', { predicate: (r) => r.url() === 'http://127.0.0.2/', timeout: 15000 });
  await retype(box(3), '2');
  await retype(field('card_name.conf'), 'Rack 7');
  await field('ref_source.conf').selectOption({ label: 'Genlock B' });
  await apply(null);
  await left;
  await card.screenshot('03-left-for-the-new-address');
  // The refresh script runs after all the change programs. Poll Interval
  // (no input) and SNMP Traps (another menu) are not sent and stay.
  assert.ok(await eventually(() => card.read('card/var/log/refresh.log') !== '', 15), 'the refresh script did not run');
  const values = Object.fromEntries(readdirSync(card.file('card/brix/conf')).map((name) =>
    [name.replace('.conf', ''), card.read(`card/brix/conf/${name}`).trimEnd()]));
  assert.deepEqual(values, {
    frame_ip: 'IPADDR=127.0.0.2', netmask: 'NETMASK=255.0.0.0', gateway: 'GATEWAY=127.0.0.254', use_dhcp: 'DHCP=0',
    card_name: 'NAME=Rack 7', ref_source: 'REFERENCE=2', fan_mode: 'FAN=0', temp_alarm: 'TEMP_ALARM=65.500000',
    poll_interval: 'POLL=30', fw_version: 'VERSION=3.2.1 (build 2026-11-04)', serial_no: 'SERIAL=MRV-0042-1187',
    snmp_traps: 'TRAPS=1',
  });
});

test('no script error, no program diagnostics, no request but to the new address', () => card.expectClean());
