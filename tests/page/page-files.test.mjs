// What the build relies on in the page's source files: it replaces the two
// asset references and the information page address by plain text search, and
// converts line ends, so those texts must stand exactly as written.
import assert from 'node:assert/strict';
import {readFile} from 'node:fs/promises';
import {dirname, resolve} from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const uiDir = resolve(dirname(fileURLToPath(import.meta.url)), '../../launcher/ui');
const pageFiles = ['index.html', 'css/style.css', 'js/launcher.js'];

const occurrences = (haystack, needle) => haystack.split(needle).length - 1;

test('the HTML holds each replaced text exactly once', async () => {
  const html = await readFile(resolve(uiDir, 'index.html'), 'utf8');
  assert.equal(occurrences(html, '<link rel="stylesheet" href="css/style.css">'), 1);
  assert.equal(occurrences(html, '<script src="js/launcher.js"></script>'), 1);
  assert.equal(occurrences(html, 'src="https://patch.velmora.example/mini/"'), 1);
});

test('page files are plain ASCII with LF line ends', async () => {
  for (const name of pageFiles) {
    const bytes = await readFile(resolve(uiDir, name));
    const offending = bytes.findIndex((byte) => byte > 0x7e || byte === 0x0d);
    assert.equal(offending, -1, `${name}: byte ${bytes[offending]} at offset ${offending}`);
  }
});
