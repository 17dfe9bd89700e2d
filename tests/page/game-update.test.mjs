// The game update poll (500 ms) and the start button it controls.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {status} from './support/fake-bridge.mjs';
import {bridgeCalls, launcherPageFixture, runUntilGamePoll, setReply, text, waitForCalls, waitForConsole} from './support/harness.mjs';

const load = launcherPageFixture();

// The launcher check ends on "uptodate"; the game update then sees `gameStatus`.
async function withGamePoll(gameStatus, body, replies = {}) {
  const session = await load({
    replies: {
      getUpdateStatus: {sequence: [status('uptodate', 100, 'Launcher is up to date'), gameStatus]},
      ...replies,
    },
  });
  await runUntilGamePoll(session.page);
  await body(session);
  assert.deepEqual(session.pageErrors, []);
}

const statusCalls = async (page) => (await bridgeCalls(page, 'getUpdateStatus')).length;
const panelShown = (page) => page.isVisible('#updatePanel');

for (const state of ['complete', 'idle']) {
  test(`"${state}" stops the poll and hides the panel 1500 ms later`, async () => {
    await withGamePoll(status(state, 100, 'Ready to play'), async ({page}) => {
      await page.clock.runFor(500);
      assert.equal(await statusCalls(page), 2);
      assert.equal(await text(page, '#progressText'), 'Ready to play');
      assert.equal(await page.$eval('#progressFill', (fill) => fill.style.width), '100%');
      await page.clock.runFor(1499);
      assert.equal(await panelShown(page), true);
      await page.clock.runFor(1);
      assert.equal(await panelShown(page), false);
      await page.clock.runFor(5000);
      assert.equal(await statusCalls(page), 2);
    });
  });
}

test('"uptodate" keeps polling every 500 ms and keeps the panel', async () => {
  await withGamePoll(status('uptodate', 100, 'Game is up to date'), async ({page}) => {
    await page.clock.runFor(5000);
    const times = (await bridgeCalls(page, 'getUpdateStatus')).slice(1).map((call) => call.time);
    assert.equal(times.length, 10);
    times.slice(1).forEach((time, i) => assert.equal(time - times[i], 500));
    assert.equal(await panelShown(page), true);
    assert.ok(await page.isEnabled('#startButton'));
  });
});

test('"error" turns the text red and keeps polling; recovery clears it', async () => {
  // Status texts come from the server and from error details: shown as text, never as markup.
  const message = 'Update failed: <b>files/a&b.pak</b>';
  await withGamePoll(status('error', 30, message, false), async ({page}) => {
    await page.clock.runFor(500);
    assert.equal(await page.getAttribute('#progressText', 'class'), 'progress-text error');
    assert.equal(await text(page, '#progressText'), message);
    assert.equal(await page.locator('#progressText b').count(), 0);
    const red = await page.$eval('#progressText', (line) => getComputedStyle(line).color);
    assert.equal(red, 'rgb(255, 107, 107)');
    assert.ok(await page.isDisabled('#startButton'));
    await page.clock.runFor(1500);
    assert.equal(await statusCalls(page), 5);
    assert.equal(await panelShown(page), true);

    await setReply(
        page, 'getUpdateStatus', status('downloading', 50, 'Downloading files...', false));
    await page.clock.runFor(500);
    assert.equal(await page.getAttribute('#progressText', 'class'), 'progress-text');
  });
});

test('"canStart" disables and enables the button, even while launching', async () => {
  await withGamePoll(status('downloading', 10, 'Downloading files...', false), async ({page}) => {
    await page.clock.runFor(500);
    assert.ok(await page.isDisabled('#startButton'));

    // Only an explicit false disables: a status without the key enables.
    await setReply(
        page, 'getUpdateStatus', {value: {state: 'uptodate', progress: 100, message: ''}});
    await page.clock.runFor(500);
    assert.ok(await page.isEnabled('#startButton'));

    await page.click('#startButton');
    await waitForCalls(page, 'startGame');
    assert.equal(await text(page, '#startButton'), 'LAUNCHING...');
    assert.ok(await page.isDisabled('#startButton'));
    await page.clock.runFor(500);
    assert.ok(await page.isEnabled('#startButton'));
    assert.equal(await text(page, '#startButton'), 'LAUNCHING...');

    await setReply(
        page, 'getUpdateStatus', status('checking', 0, 'Checking for updates...', false));
    await page.clock.runFor(500);
    assert.ok(await page.isDisabled('#startButton'));
  }, {startGame: {value: false}});
});

test('a rejected game start restores the button; a reply of false does not', async () => {
  const rejected = {startGame: {reject: 'Failed to parse binding result as JSON'}};
  await withGamePoll(status('complete', 100, 'Ready to play'), async (session) => {
    const {page} = session;
    await page.click('#startButton');
    await waitForConsole(session, 'Failed to start game:');
    assert.equal(await text(page, '#startButton'), 'START GAME');
    assert.ok(await page.isEnabled('#startButton'));
  }, rejected);

  await withGamePoll(status('complete', 100, 'Ready to play'), async ({page}) => {
    await page.clock.runFor(500);
    await page.click('#startButton');
    await waitForCalls(page, 'startGame');
    await page.clock.runFor(2000);
    assert.equal(await text(page, '#startButton'), 'LAUNCHING...');
    assert.ok(await page.isDisabled('#startButton'));
  }, {startGame: {value: false}});
});

test('a rejected status call stops the poll, enables the button, hides the panel', async () => {
  await withGamePoll(status('downloading', 20, 'Downloading files...', false), async (session) => {
    const {page} = session;
    await page.clock.runFor(500);
    assert.ok(await page.isDisabled('#startButton'));

    await setReply(page, 'getUpdateStatus', {reject: 'Failed to parse binding result as JSON'});
    await page.clock.runFor(500);
    assert.ok(await page.isEnabled('#startButton'));
    assert.equal(await panelShown(page), false);
    assert.ok(session.consoleLines.some(
        (line) => line.startsWith('Failed to get update status:') &&
            line.includes('Failed to parse binding result as JSON')));

    await page.clock.runFor(3000);
    assert.equal(await statusCalls(page), 3);
  });
});

test('a failed update start enables the button without polling', async () => {
  const replies = {checkUpdate: {reject: 'bridge gone'}};
  await withGamePoll(status('downloading', 20, 'Downloading files...', false), async (session) => {
    const {page} = session;
    await waitForConsole(session, 'Failed to check updates:');
    await page.clock.runFor(2000);
    assert.equal(await statusCalls(page), 1);
    assert.ok(await page.isEnabled('#startButton'));
    assert.equal(await panelShown(page), false);
  }, replies);
});
