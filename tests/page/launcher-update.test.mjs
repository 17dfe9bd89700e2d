// The launcher self-update check: its 300 ms poll, the delayed hand-over to a
// downloaded launcher, and how start-up goes on after it.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {status} from './support/fake-bridge.mjs';
import {bridgeCalls, launcherPageFixture, text, waitForCalls, waitForConsole} from './support/harness.mjs';

const load = launcherPageFixture();

async function withPage(options, body) {
  const session = await load(options);
  await body(session);
  assert.deepEqual(session.pageErrors, []);
}

const times = async (page, name) => (await bridgeCalls(page, name)).map((call) => call.time);

test('polls every 300 ms while the launcher is checked and downloaded', async () => {
  const replies = {
    getUpdateStatus: {
      sequence: [
        status('checking', 0, 'Checking launcher version...'),
        status('downloading', 40, 'Downloading launcher update...'),
        status('uptodate', 100, 'Launcher is up to date'),
      ],
    },
  };
  await withPage({replies}, async ({page, clockStart}) => {
    await waitForCalls(page, 'checkLauncherUpdate');
    assert.equal(await text(page, '#progressText'), 'Checking for launcher updates...');
    await page.clock.runFor(600);
    assert.equal(await text(page, '#progressText'), 'Downloading launcher update...');
    assert.equal(await page.$eval('#progressFill', (fill) => fill.style.width), '40%');
    assert.deepEqual(await bridgeCalls(page, 'checkUpdate'), []);

    await page.clock.runFor(300);
    await waitForCalls(page, 'checkUpdate');
    assert.deepEqual(
        await times(page, 'getUpdateStatus'),
        [clockStart + 300, clockStart + 600, clockStart + 900]);
    assert.equal((await bridgeCalls(page, 'checkLauncherUpdate')).length, 1);
  });
});

test('a downloaded launcher is applied once, 1000 ms after it was seen', async () => {
  const replies = {
    getUpdateStatus: {
      sequence: [
        status('downloading', 80, 'Downloading launcher update...'),
        status('launcher_update_ready', 100, 'Launcher update ready', false),
      ],
    },
  };
  await withPage({replies}, async ({page, consoleLines, clockStart}) => {
    await waitForCalls(page, 'checkLauncherUpdate');
    await page.clock.runFor(600);
    const readySeenAt = clockStart + 600;
    assert.equal(await text(page, '#progressText'), 'Launcher update available! Restarting...');
    assert.ok(consoleLines.includes(
        'Launcher update status: launcher_update_ready 100 Launcher update ready'));

    // Start-up goes on to the game update while the hand-over waits.
    await waitForCalls(page, 'checkUpdate');
    assert.deepEqual(await bridgeCalls(page, 'applyLauncherUpdate'), []);
    await page.clock.runFor(999);
    assert.deepEqual(await bridgeCalls(page, 'applyLauncherUpdate'), []);
    await page.clock.runFor(1);
    assert.deepEqual(await times(page, 'applyLauncherUpdate'), [readySeenAt + 1000]);

    // The game poll keeps seeing the ready state; nothing applies a second time.
    await page.clock.runFor(3000);
    assert.equal((await bridgeCalls(page, 'applyLauncherUpdate')).length, 1);
    assert.equal((await bridgeCalls(page, 'checkLauncherUpdate')).length, 1);
  });
});

test('a slow status reply never overlaps the next launcher poll', async () => {
  const replies = {getUpdateStatus: {pending: true}};
  await withPage({replies}, async ({page}) => {
    await waitForCalls(page, 'checkLauncherUpdate');
    await page.clock.runFor(3000);
    assert.equal((await bridgeCalls(page, 'getUpdateStatus')).length, 1);
    assert.deepEqual(await bridgeCalls(page, 'checkUpdate'), []);
  });
});

test('failures end the launcher check and start-up goes on', async () => {
  // A failed status call ends the poll after one tick.
  const badStatus = {getUpdateStatus: {reject: 'Failed to parse binding result as JSON'}};
  await withPage({replies: badStatus}, async ({page, consoleLines}) => {
    await waitForCalls(page, 'checkLauncherUpdate');
    await page.clock.runFor(300);
    await waitForCalls(page, 'checkUpdate');
    assert.equal((await bridgeCalls(page, 'getUpdateStatus')).length, 1);
    assert.ok(consoleLines.some(
        (line) => line.startsWith('Failed to get launcher update status:') &&
            line.includes('Failed to parse binding result as JSON')));
  });

  // A failed start of the check does not poll at all.
  const badStart = {checkLauncherUpdate: {reject: 'bridge gone'}};
  await withPage({replies: badStart}, async (session) => {
    await waitForCalls(session.page, 'checkUpdate');
    assert.deepEqual(await bridgeCalls(session.page, 'getUpdateStatus'), []);
    await waitForConsole(session, 'Failed to check launcher update:');
  });
});
