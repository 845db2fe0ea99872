// The page against hostile links and large songs: ?song= names that are no
// file names, other sites and schemes, bodies without end; the WAV download
// of a long song while the screen goes on; and the page's file system, which
// keeps only the song playing.
//
// Environment: PLAYTUN_WEB (the built page).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { serve, launch, openPage } from './browser.mjs';

const web = process.env.PLAYTUN_WEB;
const songs = new URL('../../songs/', import.meta.url).pathname;
const LIMIT = 256 * 1024 * 1024;  // the loader's size limit

// What the server saw: every request's host and path, and the bytes each
// endless body sent before the page hung up.
const seen = [];
const sent = {};
const endless = (chunk, every) => (request, response) => {
  response.writeHead(200, { 'Content-Type': 'application/octet-stream' });
  const path = request.url;
  sent[path] = 0;
  const piece = Buffer.alloc(chunk, 0x41);
  let stopped = false;
  response.on('close', () => { stopped = true; });
  const more = () => {
    while (!stopped) {
      sent[path] += piece.length;
      if (!response.write(piece)) return response.once('drain', more);
      if (every) return setTimeout(more, every);
    }
  };
  more();
};
const routes = {
  '/endless': endless(1 << 20, 0),
  '/slow': endless(256, 100),
  '/claims-too-much': (request, response) => {
    response.writeHead(200, { 'Content-Length': String(LIMIT + 1) });
    response.write(Buffer.alloc(1024));  // and no more
  },
};

let server, url, browser;
before(async () => {
  ({ server, url } = await serve(web, { 'test-songs': songs }, routes));
  server.on('request', (request) => seen.push(`${request.headers.host}${request.url}`));
  browser = await launch();
});
after(async () => {
  await browser?.close();
  server?.close();
});

const screen = (page) => page.evaluate(() => window.playtun.screenText());
const selectorLine = async (page) => (await screen(page))[1];

// Keys still work: the selector goes into songs/imported and plays its first song.
async function playImported(page, label) {
  await page.focus('#screen');
  for (const key of ['ArrowDown', 'Enter', 'ArrowDown', 'Enter']) await page.keyboard.press(key);
  await page.waitForFunction(() => window.playtun.mode() === 'player', null, { timeout: 5000 })
    .catch(() => assert.fail(`${label}: the keys no longer work`));
  assert.match((await screen(page))[1], /^Playing guyshavitt-dustandrust\.tun /, label);
}

const choose = (page, name, buffer) =>
  page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer });

// A song file: `channels` channels of the same record, `frames` frames at
// `rate` frames a second.
function makeSong(channels, rate, frames) {
  const b = Buffer.alloc(16 + 6 * channels * frames);
  b.write('TQK', 0);
  b[3] = channels | 0x10;
  b.writeUInt16LE(rate, 4);
  for (let i = 0; i < channels * frames; ++i) {
    Buffer.from([0x20, 0x10 + (i % 8), 0x80, 0x41, 0x0f, 0]).copy(b, 16 + 6 * i);
  }
  return b;
}

test('?song= names that are no file, other sites and endless bodies end in a message, and the keys go on', async () => {
  const port = new URL(url).port;
  const other = `http://localhost:${port}/test-songs/plain/meadow.tun`;
  const meadow = (await readFile(join(songs, 'plain/meadow.tun'))).toString('base64').slice(0, 64);
  const elsewhere = 'A link opens songs from this site only.';
  const cases = [
    { song: '..', line: '?No SID-DUMP file  ERROR' },
    { song: '.', line: '?No SID-DUMP file  ERROR' },
    { song: 'test-songs/plain/..', line: 'File not found.' },
    { song: '../../../etc/passwd', line: 'File not found.' },
    { song: other, line: elsewhere, never: `localhost:${port}/` },
    { song: `data:application/octet-stream;base64,${meadow}`, line: elsewhere },
    { song: `blob:${url}0b8e7c4a-0000-4000-8000-000000000000`, line: elsewhere },
    { song: 'javascript:alert(1)', line: elsewhere },
    { song: 'claims-too-much', line: '?Song too large  ERROR' },
    { song: 'endless', line: '?Song too large  ERROR', bounded: '/endless' },
  ];
  for (const c of cases) {
    const label = `?song=${c.song.slice(0, 40)}`;
    seen.length = 0;
    const { page, errors } = await openPage(browser, `${url}?song=${encodeURIComponent(c.song)}`);
    const asked = [];
    page.on('request', (r) => asked.push(r.url()));
    await page.waitForFunction((line) => window.playtun.screenText()[1].startsWith(line), c.line, { timeout: 30000 })
      .catch(async () => assert.fail(`${label}: "${await selectorLine(page)}"`));
    assert.equal(await page.evaluate(() => window.playtun.mode()), 'selector', label);
    if (c.never) {
      assert.deepEqual(seen.filter((s) => s.startsWith(c.never)), [], `${label}: a request left for the other site`);
      assert.deepEqual(asked.filter((u) => u.startsWith(c.song)), [], label);
    }
    if (c.bounded) {
      // The page stops one byte past the limit; what the server got out
      // before it noticed is socket buffers, not more reading.
      const bytes = sent[c.bounded];
      assert.ok(bytes > LIMIT && bytes < LIMIT + (64 << 20), `${label}: ${bytes} bytes sent`);
    }
    assert.deepEqual(await page.evaluate(() => window.playtun.uploads()), [], `${label}: a refused song kept`);
    await playImported(page, label);
    // The browser itself logs a 404; nothing else is an error.
    assert.deepEqual(errors.filter((e) => !/status of 404/.test(e)), [], label);
    await page.close();
  }
});

test('a slow body without end shows its progress while the page answers keys', async () => {
  const { page, errors } = await openPage(browser, `${url}?song=slow`);
  await page.waitForFunction(() => /^Loading the song: \d+ KB$/.test(document.getElementById('sound').textContent),
    null, { timeout: 5000 });
  await playImported(page, '?song=slow');
  assert.deepEqual(errors, []);
  await page.close();
});

// A MutationObserver keeps every text of the sound line; a
// requestAnimationFrame loop keeps the longest gap between frames.
async function watch(page) {
  await page.evaluate(() => {
    const w = (window.watched = { texts: [], gap: 0, frames: 0 });
    const line = document.getElementById('sound');
    new MutationObserver(() => w.texts.push(line.textContent))
      .observe(line, { childList: true, characterData: true, subtree: true });
    let last = performance.now();
    const frame = (t) => {
      w.gap = Math.max(w.gap, t - last);
      last = t;
      ++w.frames;
      requestAnimationFrame(frame);
    };
    requestAnimationFrame(frame);
  });
}

test('the WAV of a long song is made while the screen goes on; one too long for a WAV is refused', async () => {
  const minutes = 15;
  const { page, errors } = await openPage(browser, url);
  await choose(page, 'long.tun', makeSong(8, 1, 60 * minutes));
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  await page.focus('#screen');
  await watch(page);
  const [download] = await Promise.all([page.waitForEvent('download', { timeout: 60000 }), page.keyboard.press('g')]);
  const path = await download.path();
  const watched = await page.evaluate(() => window.watched);
  const saved = await readFile(path);
  const frames = minutes * 60 * 48000;
  assert.equal(saved.length, 44 + 4 * frames);
  assert.equal(saved.readUInt32LE(40), 4 * frames);
  assert.equal(download.suggestedFilename(), 'long.wav');
  assert.ok(watched.gap < 400, `the screen stood still for ${watched.gap.toFixed(0)} ms (${watched.frames} frames)`);
  assert.ok(watched.texts.some((t) => /^Making the WAV: \d+%$/.test(t)), `no progress in ${watched.texts.join(' | ')}`);

  // 200,000 frames at one a second: 55 hours, more than 4 GiB of samples.
  await choose(page, 'endless.tun', makeSong(1, 1, 200000));
  await page.waitForFunction(() => window.playtun.screenText()[1].startsWith('Playing endless.tun'));
  await page.focus('#screen');
  let offered = false;
  page.on('download', () => { offered = true; });
  await page.keyboard.press('g');
  await page.waitForFunction(() => document.getElementById('sound').textContent.startsWith('No WAV:'), null,
    { timeout: 10000 });
  assert.match(await page.textContent('#sound'), /lasts 55 h 33 min, and a WAV file holds at most 6 h 12 min/);
  await page.waitForTimeout(300);
  assert.equal(offered, false);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the page\'s file system keeps only the song playing from outside, and nothing refused', async () => {
  const meadow = await readFile(join(songs, 'plain/meadow.tun'));
  const panorama = await readFile(join(songs, 'wide/panorama.tun'));
  const garbled = Buffer.from('no song at all');
  const drop = async (page, name, buffer) => {
    const transfer = await page.evaluateHandle(([name, bytes]) => {
      const t = new DataTransfer();
      t.items.add(new File([new Uint8Array(bytes)], name));
      return t;
    }, [name, Array.from(buffer)]);
    await page.dispatchEvent('#drop', 'drop', { dataTransfer: transfer });
  };
  const kept = (page) => page.evaluate(() => window.playtun.uploads().map((p) => p.split('/').pop()));
  const { page, errors } = await openPage(browser, `${url}?song=test-songs/plain/meadow.tun`);
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  // [what comes, the names kept after it, the first characters of the line shown]
  const steps = [
    [null, ['meadow.tun'], 'Playing test-songs/plain/meadow.tun'],
    [() => choose(page, 'garbled.tun', garbled), [], '?No SID-DUMP file'],
    [() => drop(page, 'garbled.tun', garbled), [], '?No SID-DUMP file'],
    [() => choose(page, 'meadow.tun', meadow), ['meadow.tun'], 'Playing meadow.tun'],
    [() => drop(page, 'panorama.tun', panorama), ['panorama.tun'], 'Playing panorama.tun'],
    [() => drop(page, '..', meadow), ['song.tun'], 'Playing ..'],
    [() => choose(page, 'empty.tun', Buffer.alloc(0)), [], '?No SID-DUMP file'],
    [() => choose(page, 'meadow.tun', meadow), ['meadow.tun'], 'Playing meadow.tun'],
    [async () => { await page.focus('#screen'); await page.keyboard.press('Escape'); }, [], ''],
  ];
  for (const [come, names, line] of steps) {
    if (come) await come();
    await page.waitForFunction((line) => window.playtun.screenText()[1].startsWith(line), line, { timeout: 5000 })
      .catch(async () => assert.fail(`wanted "${line}", shown "${await selectorLine(page)}"`));
    await page.waitForTimeout(100);
    assert.deepEqual(await kept(page), names, line);
  }
  assert.deepEqual(errors, []);
  await page.close();
});
