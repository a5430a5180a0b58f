// The parameter form in Chromium: logged in, styled, the address box's checks while typing, and
// Apply, after which the page sends the browser to the card's new (loopback) address at once, while
// the change programs still run, and the landing page then shows the values applied.
import assert from 'node:assert/strict';
import { readdirSync, renameSync, writeFileSync } from 'node:fs';
import { test } from 'node:test';

import { eventually, patience, setUp } from './site.mjs';

const card = await setUp(), { page } = card;
const field = (name) => page.locator(`[name="${name}"]`);
const retype = async (name, text) => { // key by key
  await field(name).fill('');
  await field(name).pressSequentially(text);
};

test('the form is applied in full although the browser leaves at once', async () => {
  assert.equal((await page.goto(card.url('/cgi-bin/Merovane'))).status(), 200);
  const label = page.locator('td.formLabel').first();
  assert.equal(await label.evaluate((e) => getComputedStyle(e).fontWeight), '700');
  await card.screenshot('01-landing');
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
  // address.
  const setparam = card.file('card/brix/bin/setparam');
  renameSync(setparam, `${setparam}.real`);
  writeFileSync(setparam,
    '#!/bin/sh -p\necho "applying $1" 2> /dev/null\nsleep 0.3\nexec "$0.real" "$@"\n',
    { mode: 0o755 });
  // On the port the page came by.
  const newAddress = `https://127.0.0.2:${new URL(card.url('/')).port}/`;
  card.allowed.push(newAddress);
  const left = page.waitForEvent('requestfailed',
    { predicate: (r) => r.url() === newAddress, timeout: patience * 1000 });
  const [response] = await Promise.all([page.waitForResponse(card.url('/cgi-bin/Merovane/set')),
    page.locator('input[type="submit"][value="Apply"]').click()]);
  assert.equal(response.status(), 200);
  await left;
  await card.screenshot('02-left-for-the-new-address');
  // The refresh runs after all the change programs. Poll Interval and SNMP Traps are not in the
  // form and stay.
  assert.ok(await eventually(() => card.read('card/var/log/refresh.log') !== '', patience),
    'the refresh script did not run');
  const files = readdirSync(card.file('card/brix/conf'));
  assert.deepEqual(files.map((name) => card.read(`card/brix/conf/${name}`)).sort(),
    ['DHCP=0', 'FAN=0', 'GATEWAY=127.0.0.254', 'IPADDR=127.0.0.2', 'NAME=Rack 7',
      'NETMASK=255.0.0.0', 'POLL=30', 'REFERENCE=2', 'SERIAL=MRV-0042-1187', 'TEMP_ALARM=65.500000',
      'TRAPS=1', 'VERSION=3.2.1 (build 2026-11-04)'].map((line) => `${line}\n`));
  // The refresh has rebuilt the landing page: it shows the new name.
  await page.goto(card.url('/cgi-bin/Merovane/cardcontrol'));
  assert.equal(await field('oid-card_name.conf').inputValue(), 'Rack 7');
});

test('no script error, no program diagnostics, no request but to the new address',
  () => card.expectClean());
