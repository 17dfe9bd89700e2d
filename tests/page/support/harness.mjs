// Opens the launcher page from its file:// URL in Debian's headless Chromium,
// either as in an ordinary browser (mock mode) or with a scripted fake bridge,
// under a paused fake clock that the tests advance explicitly.
import {mkdir} from 'node:fs/promises';
import {dirname, join, resolve} from 'node:path';
import {after, before} from 'node:test';
import {setTimeout as sleep} from 'node:timers/promises';
import {fileURLToPath, pathToFileURL} from 'node:url';
import {chromium} from 'playwright-core';

import {bridgeNames, bridgeQuery, installFakeBridge} from './fake-bridge.mjs';

const here = dirname(fileURLToPath(import.meta.url));
export const pageUrl = pathToFileURL(resolve(here, '../../../launcher/ui/index.html')).href;
export const artifactsDir = resolve(here, '../artifacts');

const chromiumArgs = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  // Every host name fails to resolve: the information tab's external page
  // never loads, and nothing else leaves the machine.
  '--host-resolver-rules=MAP * ~NOTFOUND',
];

// Each test loads the page at a clock time this far past the previous test's.
const clockStep = 1_000_000;

// Sets up one browser and page for the calling test file and returns
// `load(options)`, which loads the page afresh for one test. `replies` (bridge
// name without "api_" -> scripted reply, see fake-bridge.mjs) installs the fake
// bridge on top of the default replies; `null` leaves it out (mock mode).
// Playwright gives every launch a fresh temporary profile (user-data dir).
export function launcherPageFixture() {
  let browser;
  let context;
  let page;
  let clockStart = 0;
  let session;

  before(async () => {
    browser = await chromium.launch({
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: chromiumArgs,
    });
    context = await browser.newContext({viewport: {width: 800, height: 600}});
    await context.clock.install({time: 0});
    page = await context.newPage();
    await page.addInitScript(installFakeBridge, bridgeNames);
    page.on('console', (message) => session?.consoleLines.push(message.text()));
    page.on('pageerror', (error) => session?.pageErrors.push(error));
  });
  after(() => browser?.close());

  return async function load({replies = {}} = {}) {
    clockStart += clockStep;
    await context.clock.pauseAt(clockStart);
    session = {page, clockStart, consoleLines: [], pageErrors: []};
    await page.goto(pageUrl + (replies === null ? '' : bridgeQuery(replies)), {
      waitUntil: 'domcontentloaded',
    });
    return session;
  };
}

// Waits in real time until `condition` (a function run here, possibly async)
// gives a truthy value, and returns that value. The page's clock stays paused.
export async function waitFor(condition, what = String(condition), timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value) {
      return value;
    }
    if (Date.now() > deadline) {
      throw new Error(`timed out waiting for ${what}`);
    }
    await sleep(15);
  }
}

// Waits until `predicate` (run in the page with `arg`) is truthy.
export function waitInPage(page, predicate, arg) {
  return waitFor(() => page.evaluate(predicate, arg), String(predicate));
}

export function waitForConsole(session, prefix) {
  return waitFor(
      () => session.consoleLines.find((line) => line.startsWith(prefix)),
      `console line "${prefix}"`);
}

// Every bridge call so far: { name, args, time } with `time` in page clock milliseconds.
export function bridgeCalls(page, name) {
  return page.evaluate(
      (only) => window.fakeBridge.calls.filter((call) => only === undefined || call.name === only),
      name);
}

export function waitForCalls(page, name, count = 1) {
  return waitInPage(page, ([only, wanted]) => {
    const calls = window.fakeBridge.calls.filter((call) => call.name === only);
    return calls.length >= wanted && calls;
  }, [name, count]);
}

// Replaces the scripted reply of one bridge function from now on.
export function setReply(page, name, reply) {
  return page.evaluate(([target, scripted]) => {
    window.fakeBridge.replies[target] = scripted;
  }, [name, reply]);
}

// Runs start-up until the game update poll is scheduled: the launcher check
// must end on its first status (the default "complete" does).
export async function runUntilGamePoll(page) {
  await waitForCalls(page, 'checkLauncherUpdate');
  await page.clock.runFor(300);
  await waitForCalls(page, 'checkUpdate');
}

export function text(page, selector) { return page.locator(selector).textContent(); }

export async function saveScreenshot(page, name) {
  await mkdir(artifactsDir, {recursive: true});
  const path = join(artifactsDir, name);
  await page.screenshot({path});
  return path;
}
