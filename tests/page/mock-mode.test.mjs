// The page opened in an ordinary browser: no native side, so it runs on its
// own stand-in functions and still goes through its whole start-up.
import assert from 'node:assert/strict';
import {test} from 'node:test';
import {setTimeout as sleep} from 'node:timers/promises';

import {launcherPageFixture, saveScreenshot, text, waitFor, waitInPage} from './support/harness.mjs';

const load = launcherPageFixture();

test('mock mode runs start-up on stand-in replies', async () => {
  const {page, consoleLines, pageErrors} = await load({replies: null});
  await waitInPage(page, () => document.getElementById('resolution').options.length > 0);
  await waitFor(() => consoleLines.includes('Running in standalone browser mode (mock API)'));
  assert.equal(await text(page, '#versionInfo'), 'Launcher v1.0.0');

  const options = await page.$$eval(
      '#resolution option', (list) => list.map((option) => [option.value, option.textContent]));
  assert.deepEqual(options, [
    ['1920x1080', '1920 x 1080'],
    ['1600x900', '1600 x 900'],
    ['1280x720', '1280 x 720'],
  ]);
  assert.equal(await page.inputValue('#resolution'), '1920x1080');
  assert.equal(await page.inputValue('#antiAliasing'), '4');
  assert.equal(await page.isChecked('#windowed'), false);
  assert.equal(await page.isChecked('#vsync'), true);

  // Launcher check (300 ms), then the first game update tick (500 ms).
  await page.clock.runFor(300);
  await waitFor(() => consoleLines.includes('api_checkUpdate'));
  await page.clock.runFor(500);
  assert.equal(await text(page, '#progressText'), 'Ready to play');
  assert.equal(await page.$eval('#progressFill', (fill) => fill.style.width), '100%');
  assert.ok(await page.isEnabled('#startButton'));
  assert.ok(consoleLines.includes('api_checkLauncherUpdate'));

  await sleep(400);  // let the bar's width transition finish before the picture
  await saveScreenshot(page, 'launcher-page-mock.png');

  await page.selectOption('#resolution', '1280x720');
  await waitFor(
      () => consoleLines.includes(
          'saveConfig: {"resolution":"1280x720","antiAliasing":4,"windowed":false,"vsync":true}'));

  await page.clock.runFor(1500);
  assert.equal(await page.isVisible('#updatePanel'), false);
  assert.deepEqual(pageErrors, []);
});
