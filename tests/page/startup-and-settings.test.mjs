// Start-up with a native side present: the version line, the stored settings
// applied to the controls, and what a change of a control sends back.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {status} from './support/fake-bridge.mjs';
import {bridgeCalls, launcherPageFixture, runUntilGamePoll, setReply, text, waitForCalls, waitForConsole} from './support/harness.mjs';

const load = launcherPageFixture();

async function withPage(options, body) {
  const session = await load(options);
  await body(session);
  assert.deepEqual(session.pageErrors, []);
}

const savedRecords = async (page) =>
    (await bridgeCalls(page, 'saveConfig')).map((call) => call.args);

test('start-up asks in order, shows the version and selects the stored settings', async () => {
  await withPage({}, async ({page, consoleLines, clockStart}) => {
    await runUntilGamePoll(page);
    const calls = await bridgeCalls(page);
    assert.deepEqual(calls.map((call) => call.name), [
      'getLauncherVersion',
      'getConfig',
      'getResolutions',
      'getConfig',
      'checkLauncherUpdate',
      'getUpdateStatus',
      'checkUpdate',
    ]);
    assert.ok(calls.every((call) => call.args.length === 0));
    assert.equal(calls.find((call) => call.name === 'getUpdateStatus').time, clockStart + 300);

    assert.equal(await text(page, '#versionInfo'), 'Launcher v1.0.3');
    const options = await page.$$eval(
        '#resolution option', (list) => list.map((option) => [option.value, option.textContent]));
    assert.deepEqual(options, [
      ['1024x768', '1024x768'],
      ['1600x900', '1600x900'],
      ['1920x1080', '1920x1080'],
    ]);
    assert.equal(await page.inputValue('#resolution'), '1600x900');
    assert.ok(consoleLines.includes('checkLauncherUpdate() called'));
    assert.ok(consoleLines.includes('Launcher update status: complete 100 Game is up to date'));
  });
});

test('a rejected version call shows ?.?.? and start-up goes on', async () => {
  const replies = {getLauncherVersion: {reject: 'Failed to parse binding result as JSON'}};
  await withPage({replies}, async ({page, consoleLines}) => {
    await runUntilGamePoll(page);
    assert.equal(await text(page, '#versionInfo'), 'Launcher v?.?.?');
    assert.ok(consoleLines.some((line) => line.startsWith('Failed to get launcher version:')));
  });
});

test('stored flags are applied only when they are exactly true or false', async () => {
  const replies = {
    getConfig: {value: {resolution: '1920x1080', windowed: true, vsync: false, antiAliasing: 8}},
  };
  await withPage({replies}, async ({page}) => {
    await runUntilGamePoll(page);
    assert.equal(await page.inputValue('#resolution'), '1920x1080');
    assert.equal(await page.inputValue('#antiAliasing'), '8');
    assert.equal(await page.isChecked('#windowed'), true);
    assert.equal(await page.isChecked('#vsync'), false);
  });

  // Missing anti-aliasing means off; windowed needs true itself, vsync is on
  // unless it is false itself.
  const loose = {getConfig: {value: {resolution: '', windowed: 1, vsync: 0}}};
  await withPage({replies: loose}, async ({page}) => {
    await runUntilGamePoll(page);
    assert.equal(await page.inputValue('#resolution'), '1024x768');
    assert.equal(await page.inputValue('#antiAliasing'), '0');
    assert.equal(await page.isChecked('#windowed'), false);
    assert.equal(await page.isChecked('#vsync'), true);
  });
});

test('each change saves the whole record as one JSON string, keys in order', async () => {
  await withPage({}, async ({page}) => {
    await runUntilGamePoll(page);
    await page.selectOption('#antiAliasing', '8');
    await waitForCalls(page, 'saveConfig', 1);
    await page.check('#windowed');
    await waitForCalls(page, 'saveConfig', 2);
    await page.selectOption('#resolution', '1920x1080');
    await waitForCalls(page, 'saveConfig', 3);
    await page.uncheck('#vsync');
    await waitForCalls(page, 'saveConfig', 4);

    assert.deepEqual(await savedRecords(page), [
      ['{"resolution":"1600x900","antiAliasing":8,"windowed":false,"vsync":true}'],
      ['{"resolution":"1600x900","antiAliasing":8,"windowed":true,"vsync":true}'],
      ['{"resolution":"1920x1080","antiAliasing":8,"windowed":true,"vsync":true}'],
      ['{"resolution":"1920x1080","antiAliasing":8,"windowed":true,"vsync":false}'],
    ]);
  });
});

test('changes made before start-up finishes are not saved', async () => {
  const replies = {getUpdateStatus: status('checking', 0, 'Checking launcher version...')};
  await withPage({replies}, async ({page}) => {
    await waitForCalls(page, 'checkLauncherUpdate');
    await page.clock.runFor(300);
    await page.selectOption('#antiAliasing', '2');
    await page.check('#windowed');
    await page.clock.runFor(300);
    assert.deepEqual(await savedRecords(page), []);

    await setReply(page, 'getUpdateStatus', status('uptodate', 100, 'Launcher is up to date'));
    await page.clock.runFor(300);
    await waitForCalls(page, 'checkUpdate');
    await page.uncheck('#vsync');
    await waitForCalls(page, 'saveConfig');
    assert.deepEqual(await savedRecords(page), [
      ['{"resolution":"1600x900","antiAliasing":2,"windowed":true,"vsync":false}'],
    ]);
  });
});

test('a stored resolution missing from the list selects nothing and saves empty', async () => {
  const replies = {
    getConfig: {value: {resolution: '2560x1440', windowed: true, vsync: true, antiAliasing: 4}},
  };
  await withPage({replies}, async ({page}) => {
    await runUntilGamePoll(page);
    assert.equal(await page.$eval('#resolution', (select) => select.selectedIndex), -1);
    await page.uncheck('#vsync');
    await waitForCalls(page, 'saveConfig');
    assert.deepEqual(await savedRecords(page), [
      ['{"resolution":"","antiAliasing":4,"windowed":true,"vsync":false}'],
    ]);
  });
});

test('an anti-aliasing value the list lacks is still saved as an integer', async () => {
  const replies = {
    getConfig: {value: {resolution: '1600x900', windowed: true, vsync: true, antiAliasing: 16}},
  };
  await withPage({replies}, async ({page}) => {
    await runUntilGamePoll(page);
    assert.equal(await page.$eval('#antiAliasing', (select) => select.selectedIndex), -1);
    await page.uncheck('#windowed');
    await waitForCalls(page, 'saveConfig');
    assert.deepEqual(await savedRecords(page), [
      ['{"resolution":"1600x900","antiAliasing":0,"windowed":false,"vsync":true}'],
    ]);
  });
});

test('tabs switch content and the title bar buttons reach the window', async () => {
  const replies = {closeWindow: {reject: 'Failed to parse binding result as JSON'}};
  await withPage({replies}, async (session) => {
    const {page} = session;
    await runUntilGamePoll(page);
    await page.click('.tab-btn[data-tab="info"]');
    assert.equal(await page.isVisible('#tab-launch'), false);
    assert.equal(await page.isVisible('#infoFrame'), true);
    assert.equal(await page.getAttribute('.tab-btn[data-tab="info"]', 'class'), 'tab-btn active');
    assert.equal(await page.getAttribute('.tab-btn[data-tab="launch"]', 'class'), 'tab-btn');
    await page.click('.tab-btn[data-tab="launch"]');
    assert.equal(await page.isVisible('#startButton'), true);

    await page.click('.btn-minimize');
    await page.click('.btn-close');
    await waitForCalls(page, 'closeWindow');
    assert.equal((await bridgeCalls(page, 'minimizeWindow')).length, 1);
    await waitForConsole(session, 'Failed to close:');
  });
});
