// The line under the status text while the game update downloads: bytes done
// and total, and the speed over the last polls.
import assert from 'node:assert/strict';
import {test} from 'node:test';

import {status} from './support/fake-bridge.mjs';
import {launcherPageFixture, runUntilGamePoll, text} from './support/harness.mjs';

const load = launcherPageFixture();
const MiB = 1024 * 1024;
const GiB = 1024 * MiB;
const DOT = '\u00B7';

function downloading(bytesComplete, bytesTotal, message = 'Downloading: data/a.pak') {
  const reply = status('downloading', 50, message, false);
  return {value: {...reply.value, bytesComplete, bytesTotal}};
}

// Runs the game poll over `statuses` (one per 500 ms poll, the last repeating)
// and returns the detail line after each of them.
async function detailLines(statuses) {
  const session = await load({
    replies: {
      getUpdateStatus: {
        sequence: [status('uptodate', 100, 'Launcher is up to date'), ...statuses],
      },
    },
  });
  await runUntilGamePoll(session.page);
  const lines = [];
  for (let i = 0; i < statuses.length; i += 1) {
    await session.page.clock.runFor(500);
    lines.push(await text(session.page, '#progressDetail'));
  }
  assert.deepEqual(session.pageErrors, []);
  return {lines, session};
}

test('bytes and speed follow the polls of one download', async () => {
  const {lines} = await detailLines([
    downloading(0, 1.2 * GiB),
    downloading(4.2 * MiB, 1.2 * GiB),
    downloading(8.4 * MiB, 1.2 * GiB),
    downloading(312 * MiB, 1.2 * GiB, 'Downloading: data/b.pak'),
  ]);
  assert.deepEqual(lines, [
    '0 B of 1.2 GB',
    `4.2 MB of 1.2 GB ${DOT} 8.4 MB/s`,
    `8.4 MB of 1.2 GB ${DOT} 8.4 MB/s`,
    `312 MB of 1.2 GB ${DOT} 208 MB/s`,
  ]);
});

test('the speed is measured over the last three seconds only', async () => {
  const statuses = [downloading(0, GiB)];
  // Four seconds at 10 MiB/s, then four at 1 MiB/s.
  for (let i = 1; i <= 8; i += 1) {
    statuses.push(downloading(5 * MiB * i, GiB));
  }
  for (let i = 1; i <= 8; i += 1) {
    statuses.push(downloading(40 * MiB + 0.5 * MiB * i, GiB));
  }
  const {lines} = await detailLines(statuses);
  assert.equal(lines[8], `40.0 MB of 1.0 GB ${DOT} 10.0 MB/s`);
  assert.equal(lines.at(-1), `44.0 MB of 1.0 GB ${DOT} 1.0 MB/s`);
});

test('a count that starts again is a new transfer, not a negative speed', async () => {
  const {lines} = await detailLines([
    downloading(900 * 1024, MiB),
    downloading(100, 2048),
    downloading(612, 2048),
  ]);
  assert.deepEqual(
      lines, ['900 KB of 1.0 MB', '100 B of 2.0 KB', `612 B of 2.0 KB ${DOT} 1.0 KB/s`]);
});

test('nothing is shown outside a download or without a byte total', async () => {
  const cases = [
    ['checking', status('verifying', 40, 'Checking: a.pak', false)],
    ['the launcher\'s own download', downloading(10, 0, 'Downloading launcher update...')],
    ['no byte fields', status('downloading', 60, 'Downloading: a.pak', false)],
    ['an error', {value: {...downloading(5, 10).value, state: 'error'}}],
  ];
  for (const [name, shown] of cases) {
    const {lines, session} = await detailLines([downloading(MiB, 2 * MiB), shown]);
    assert.equal(lines[0], '1.0 MB of 2.0 MB', name);
    assert.equal(lines[1], '', name);
    assert.equal(await text(session.page, '#progressText'), shown.value.message, name);
  }
});
