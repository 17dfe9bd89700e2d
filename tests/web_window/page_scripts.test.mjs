// The scripts the web window injects into its page, run in headless Chromium once for each
// engine's way of posting to native code (WebView2's window.chrome.webview, WebKit's message
// handler), both recorded: bound names exist when the page's first script runs and only in the
// top-level page, calls post exactly what the native side expects, the native side's answers
// settle the promises, and drag regions ask for a move where the page declares them and nowhere
// else.
//
// VELMORA_PAGE_SCRIPTS_TOOL names the program that prints the scripts (page_scripts_tool.cpp);
// ctest sets it.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, describe, test} from 'node:test';
import {pathToFileURL} from 'node:url';

// playwright-core as the page tests install it (scripts/setup.sh).
const require = createRequire(new URL('../page/package.json', import.meta.url));
const {chromium} = require('playwright-core');

const token = '0123456789abcdef0123456789abcdef';

function hex(text) {
  return Buffer.from(text, 'latin1').toString('hex');
}

// The web window's scripts for `names` on `engine`, and one settle script per entry of `settle`
// ({id, resolved, bytes}: the reply as a string of byte values).
function pageScripts(engine, names, settle = []) {
  const tool = process.env.VELMORA_PAGE_SCRIPTS_TOOL;
  assert.ok(tool, 'VELMORA_PAGE_SCRIPTS_TOOL is not set');
  const request = {
    token,
    engine,
    names,
    settle: settle.map(({id, resolved, bytes}) => ({id, resolved, hex: hex(bytes)})),
  };
  const run = spawnSync(tool, {input: JSON.stringify(request), encoding: 'utf8'});
  assert.equal(run.status, 0, run.stderr);
  return JSON.parse(run.stdout);
}

// Elements that declare a drag region, or only look as if they did: [id, style, moves].
const declarations = [
  ['plain', '-webkit-app-region: drag', true],
  ['standard', 'app-region: drag', true],
  ['capitals', 'APP-REGION: DRAG', true],
  ['tight', '-webkit-app-region:drag', true],
  ['other-property', 'x-app-region: drag', false],
  ['longer-word', '-webkit-app-region: dragon', false],
  ['no-drag', '-webkit-app-region: no-drag', false],
];

const pageHtml = `<!doctype html>
<html><head><style>
  /* the launcher's title bar: draggable, its buttons not */
  .title-bar { -webkit-app-region: drag; height: 40px; }
  .title-bar button { -webkit-app-region: no-drag; }
  /* a comment { -webkit-app-region: drag } declares nothing */
  div[data-case] { height: 20px; }
</style>
<script>window.seenAtStart = typeof window.api_echo;</script>
</head><body style="margin:0">
<div class="title-bar"><span id="title">Velmora</span><button id="close">x</button></div>
<div id="content" style="height:100px">content</div>
${declarations.map(([id, style]) => `<div id="${id}" data-case style="${style}">${id}</div>`)
      .join('\n')}
<iframe id="frame" srcdoc="<script>parent.frameSaw = typeof window.api_echo;</script>"></iframe>
</body></html>`;

// What each engine gives the page to post with; both record the posted values as JSON would
// carry them.
const channels = {
  webview2: () => {
    window.posted = [];
    window.chrome = window.chrome || {};
    window.chrome.webview = {
      postMessage: (value) => window.posted.push(JSON.parse(JSON.stringify(value))),
    };
  },
  webkit: () => {
    window.posted = [];
    window.webkit = {
      messageHandlers: {
        velmora: {postMessage: (value) => window.posted.push(JSON.parse(JSON.stringify(value)))},
      },
    };
  },
};

let browser;
let folder;

before(async () => {
  folder = mkdtempSync(join(tmpdir(), 'velmora page scripts '));
  writeFileSync(join(folder, 'index.html'), pageHtml);
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run'],
  });
});

after(async () => {
  await browser?.close();
  rmSync(folder, {recursive: true, force: true});
});

for (const engine of Object.keys(channels)) {
  describe(`on ${engine}`, () => {
    let page;

    before(async () => {
      page = await browser.newPage({viewport: {width: 800, height: 600}});
      await page.addInitScript(channels[engine]);
      const scripts = pageScripts(engine, ['api_echo', 'api_other']);
      for (const script of [scripts.bridge, scripts.drag, ...scripts.bindings]) {
        await page.addInitScript(script);
      }
      await page.goto(pathToFileURL(join(folder, 'index.html')).href);
      await page.waitForFunction(() => window.frameSaw !== undefined);
    });

    after(() => page?.close());

    const takePosted = () => page.evaluate(() => window.posted.splice(0));

    // Starts a call in the page; its outcome is kept in window.outcomes[key].
    async function startCall(key, name, args) {
      await page.evaluate(
          ([key, name, args]) => {
            window.outcomes = window.outcomes || {};
            window[name](...args).then(
                (value) => (window.outcomes[key] = {resolved: value}),
                (error) => (window.outcomes[key] = {
                  rejected: error instanceof Error ? error.message : `not an Error: ${error}`,
                }));
          },
          [key, name, args]);
    }

    async function settle(entries) {
      for (const script of pageScripts(engine, [], entries).settle) await page.evaluate(script);
    }

    const outcome = (key) => page.waitForFunction((key) => window.outcomes?.[key], key)
                                 .then((handle) => handle.jsonValue());

    test('bound names exist when the page script starts, in the top-level page only', async () => {
      assert.equal(await page.evaluate(() => window.seenAtStart), 'function');
      assert.equal(await page.evaluate(() => window.frameSaw), 'undefined');
    });

    test('a call posts its arguments as JSON.stringify wrote them, with an id and the token',
         async () => {
           await startCall('first', 'api_echo', [1, 'a"b', {c: null}]);
           await startCall('second', 'api_other', []);
           assert.deepEqual(await takePosted(), [
             {token, id: 1, name: 'api_echo', args: '[1,"a\\"b",{"c":null}]'},
             {token, id: 2, name: 'api_other', args: '[]'},
           ]);
           // Answers may come in any order; each settles its own promise.
           await settle([
             {id: 2, resolved: true, bytes: 'true'},
             {id: 1, resolved: true, bytes: '{"got":[1,"a\\"b"],"text":"</script>\\u2028"}'},
           ]);
           assert.deepEqual(await outcome('second'), {resolved: true});
           assert.deepEqual(await outcome('first'),
                            {resolved: {got: [1, 'a"b'], text: '</script>\u2028'}});
         });

    test('a reply that is not JSON rejects with the fixed message', async () => {
      await startCall('bad', 'api_echo', []);
      const [call] = await takePosted();
      await settle(
          [{id: call.id, resolved: true, bytes: '{"status": "idle", "message": "say "hi""}'}]);
      assert.deepEqual(await outcome('bad'), {rejected: 'Failed to parse binding result as JSON'});
    });

    test('a failed function rejects with its text; bytes that are not UTF-8 arrive replaced',
         async () => {
           await startCall('failed', 'api_echo', []);
           await startCall('latin1', 'api_echo', []);
           const [failed, latin1] = await takePosted();
           await settle([
             {id: failed.id, resolved: false, bytes: 'disk on fire'},
             {id: latin1.id, resolved: true, bytes: '"caf\xe9"'},
             {id: 999, resolved: true, bytes: '1'},  // no such call: ignored
           ]);
           assert.deepEqual(await outcome('failed'), {rejected: 'disk on fire'});
           assert.deepEqual(await outcome('latin1'), {resolved: 'caf\ufffd'});
         });

    test('a primary press in a declared drag region asks for a move, nowhere else', async () => {
      await takePosted();
      const press = async (selector, button = 'left') => {
        const box = await page.locator(selector).boundingBox();
        await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
        await page.mouse.down({button});
        await page.mouse.up({button});
        return takePosted();
      };
      const move = [{token, drag: true}];
      assert.deepEqual(await press('#title'), move);
      assert.deepEqual(await press('#close'), [], 'no-drag keeps the button clickable');
      assert.deepEqual(await press('#content'), []);
      assert.deepEqual(await press('#title', 'right'), []);
      for (const [id, style, moves] of declarations) {
        assert.deepEqual(await press(`#${id}`), moves ? move : [], `style="${style}"`);
      }
    });
  });
}
