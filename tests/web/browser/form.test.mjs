// The parameter form in Chromium: logged in, styled, the address box's checks while typing, and Apply, after which
// the page sends the browser to the card's new (loopback) address at once, while the change programs still run.
import assert from 'node:assert/strict';
import { readdirSync, renameSync, writeFileSync } from 'node:fs';
import { test } from 'node:test';

import { eventually, setUp } from './site.mjs';

const card = await setUp();
const { page } = card;
const box = (number) => page.locator(`input[name="${number}oid-frame_ip.conf"]`);
const field = (oid) => page.locator(`[name="oid-${oid}"]`);
const retype = async (locator, text) => (await locator.fill(''), locator.pressSequentially(text)); // key by key

test('the form is applied in full although the browser leaves at once', async () => {
  assert.equal((await page.goto(card.url('/cgi-bin/Merovane'))).status(), 200);
  assert.equal(await page.locator('td.formLabel').first().evaluate((e) => getComputedStyle(e).fontWeight), '700');
  await card.screenshot('01-landing');
  // Letters do not get into an address box; a number over 255 does, and is flagged when the box is left.
  const message = page.locator('#message-oid-frame_ip\\.conf');
  await retype(box(3), '3a0x0');
  assert.equal(await box(3).inputValue(), '300');
  await field('card_name.conf').click();
  assert.equal(await message.textContent(), 'Each of the four numbers is from 0 to 255.');
  await retype(box(3), '2');
  await retype(field('card_name.conf'), 'Rack 7');
  assert.equal(await message.textContent(), '');
  await field('ref_source.conf').selectOption({ label: 'Genlock B' });
  // Change programs that write to the response and take their time; nothing listens at the new address.
  const setparam = card.file('card/brix/bin/setparam');
  renameSync(setparam, `${setparam}.real`);
  writeFileSync(setparam, '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n', { mode: 0o755 });
  card.allowed.push('http://127.0.0.2/');
  const left = page.waitForEvent('requestfailed', { predicate: (r) => r.url() === 'http://127.0.0.2/', timeout: 15000 });
  const [response] = await Promise.all([page.waitForResponse(card.url('/cgi-bin/Merovane/set')),
    page.locator('input[type="submit"][value="Apply"]').click()]);
  assert.equal(response.status(), 200);
  await left;
  await card.screenshot('02-left-for-the-new-address');
  // The refresh runs after all the change programs. Poll Interval and SNMP Traps are not in the form and stay.
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
