// The web page in the system's headless Chromium, against the native
// program: the same samples as record mode, the same selector screen as the
// native window, songs opened through the file input, dropped on the page or
// named by ?song=URL, the loader's message for a broken file, the keys that
// leave for the next or previous song, full screen, the WAV download, and
// the time from the first click to the first sound.
//
// Environment: PLAYTUN_WEB (the built page), PLAYTUN_NATIVE (a folder with
// NAME.wav, record mode's file for songs/NAME.tun with '/' as '_', and
// selector.rgb, the native selector window's pixels on songs/imported).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, readdir } from 'node:fs/promises';
import { createHash } from 'node:crypto';
import { gzipSync } from 'node:zlib';
import { join, relative } from 'node:path';
import { serve, launch, openPage } from './browser.mjs';

const web = process.env.PLAYTUN_WEB;
const native = process.env.PLAYTUN_NATIVE;
const songs = new URL('../../songs/', import.meta.url).pathname;
const SECONDS = 20;

let server, url, browser;
before(async () => {
  ({ server, url } = await serve(web, { 'test-songs': songs }));
  browser = await launch();
});
after(async () => {
  await browser?.close();
  server?.close();
});

async function songFiles(folder = songs) {
  const found = [];
  for (const entry of await readdir(folder, { withFileTypes: true })) {
    const path = join(folder, entry.name);
    if (entry.isDirectory()) found.push(...await songFiles(path));
    else if (/\.tun$/i.test(entry.name)) found.push(path);
  }
  return found.sort();
}

const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

// The MM:SS of the position on the Playing line, in seconds.
async function shownSeconds(page) {
  const row = (await page.evaluate(() => window.playtun.screenText()))[1];
  const m = row.slice(69, 74).match(/^(\d\d):(\d\d)$/);
  assert.ok(m, `no position on the Playing line: "${row}"`);
  return Number(m[1]) * 60 + Number(m[2]);
}

test('the page loads without a console error and weighs under 400 KB compressed', async () => {
  const { page, errors } = await openPage(browser, url);
  await page.waitForTimeout(500);
  assert.deepEqual(errors, []);
  let compressed = 0;
  for (const name of await readdir(web)) compressed += gzipSync(await readFile(join(web, name)), { level: 9 }).length;
  console.log(`page: ${compressed} bytes compressed`);
  assert.ok(compressed < 400 * 1024, `${compressed} bytes`);
  await page.close();
});

// libtonera's two builds: the page takes the SIMD one in this Chromium, and
// ?simd=0 the other, as in a browser without WebAssembly SIMD.
const builds = [
  { query: '', file: 'tonera_simd.wasm' },
  { query: '?simd=0', file: 'tonera.wasm' },
];

for (const build of builds) {
  test(`each bundled song rendered by the audio worklet from ${build.file} equals record mode for its first 20 s`, async () => {
    const { page, errors } = await openPage(browser, url + build.query);
    assert.equal(await page.evaluate(() => window.playtun.tonera), build.file);
    const files = await songFiles();
    assert.ok(files.length >= 4);
    for (const file of files) {
      const name = relative(songs, file).replaceAll('/', '_').replace(/\.tun$/i, '');
      const wav = await readFile(join(native, `${name}.wav`));
      const recorded = wav.subarray(44);
      const frames = Math.min(SECONDS * 48000, recorded.length / 4);
      const expected = sha256(recorded.subarray(0, 4 * frames));
      const bytes = Array.from(await readFile(file));
      const started = Date.now();
      const got = await page.evaluate(async ([bytes, frames]) => {
        const samples = await window.playtun.render(new Uint8Array(bytes), frames);
        const digest = await crypto.subtle.digest('SHA-256', samples.buffer);
        return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
      }, [bytes, frames]);
      console.log(`${build.file} ${name}: ${frames} frames in ${Date.now() - started} ms`);
      assert.equal(got, expected, `${name}: the worklet's samples from ${build.file} differ from record mode's`);
    }
    assert.deepEqual(errors, []);
    await page.close();
  });
}

// Record mode lets the last frame sound to the end of its 4096-frame block;
// the page's WAV ends with the song's last frame: the same header for its
// length, and the same samples up to there.
test('the WAV the page makes holds record mode\'s header and samples for the song once through', async () => {
  for (const build of builds) {
    const { page } = await openPage(browser, url + build.query);
    for (const name of ['lullaby', 'plain_meadow', 'wide_panorama']) {
      const file = join(songs, `${name.replace('_', '/')}.tun`);
      const bytes = Array.from(await readFile(file));
      const made = await page.evaluate(async (bytes) => {
        const wav = await window.playtun.wav(new Uint8Array(bytes));
        const digest = await crypto.subtle.digest('SHA-256', wav.subarray(44));
        return { header: Array.from(wav.subarray(0, 44)), length: wav.length,
          samples: Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('') };
      }, bytes);
      const recorded = await readFile(join(native, `${name}.wav`));
      const dataBytes = made.length - 44;
      assert.ok(dataBytes > 0 && recorded.length - 44 - dataBytes >= 0 && recorded.length - 44 - dataBytes < 4096 * 4, name);
      const header = Buffer.from(recorded.subarray(0, 44));
      header.writeUInt32LE(36 + dataBytes, 4);
      header.writeUInt32LE(dataBytes, 40);
      assert.deepEqual(Buffer.from(made.header), header, `${build.file} ${name}: header`);
      assert.equal(made.samples, sha256(recorded.subarray(44, 44 + dataBytes)), `${build.file} ${name}: samples`);
    }
    await page.close();
  }
});

test('the selector on the bundled songs equals the native window pixel for pixel', async () => {
  const { page } = await openPage(browser, url);
  await page.focus('#screen');
  for (const key of ['ArrowDown', 'Enter']) await page.keyboard.press(key);  // songs/imported
  await page.waitForTimeout(200);
  const rgba = await page.evaluate(() => Array.from(window.playtun.pixels()));
  const expected = await readFile(join(native, 'selector.rgb'));
  assert.equal(expected.length, 640 * 400 * 3);
  let differing = 0, first = -1;
  for (let i = 0; i < 640 * 400; ++i) {
    for (let c = 0; c < 3; ++c) {
      if (rgba[4 * i + c] !== expected[3 * i + c]) {
        if (first < 0) first = i;
        ++differing;
        break;
      }
    }
  }
  assert.equal(differing, 0, `${differing} pixels differ, the first at x ${first % 640}, y ${Math.floor(first / 640)}`);
  await page.close();
});

test('a song from the file input plays: the position advances, Tab shows the scope, Right seeks, pause stops', async () => {
  const { page, errors } = await openPage(browser, url);
  await page.click('#screen');  // the first click starts the sound
  await page.setInputFiles('#file', join(songs, 'plain/meadow.tun'));
  await page.waitForFunction(() => window.playtun.mode() === 'player' && window.playtun.audioState() === 'running');
  await page.focus('#screen');
  const start = await shownSeconds(page);
  await page.waitForTimeout(2300);
  const later = await shownSeconds(page);
  assert.ok(later >= start + 2, `the position went from ${start} to ${later} s in 2.3 s`);

  // The scope's trace is light green (and yellow, light red where loud);
  // the voice columns have no light green at all.
  const traced = () => page.evaluate(() => {
    const p = window.playtun.pixels();
    let lit = 0;
    for (let y = 137; y < 391; ++y) {
      for (let x = 0; x < 640; ++x) {
        const i = 4 * (y * 640 + x);
        if (p[i] === 0 && p[i + 1] === 255 && p[i + 2] === 0) ++lit;
      }
    }
    return lit;
  });
  assert.equal(await traced(), 0, 'light green in the voice columns');
  await page.keyboard.press('Tab');
  await page.waitForTimeout(300);
  const lit = await traced();
  assert.ok(lit > 320, `${lit} pixels of the scope's trace`);

  const beforeSeek = await shownSeconds(page);
  for (let i = 0; i < 10; ++i) await page.keyboard.press('ArrowRight');
  await page.waitForTimeout(300);
  const afterSeek = await shownSeconds(page);
  assert.ok(afterSeek >= beforeSeek + 9 && afterSeek <= beforeSeek + 12, `Right x10: ${beforeSeek} -> ${afterSeek} s`);

  await page.keyboard.press('k');
  await page.waitForTimeout(200);
  assert.match((await page.evaluate(() => window.playtun.screenText()))[1], /^Paused /);
  const paused = await shownSeconds(page);
  await page.waitForTimeout(1500);
  assert.equal(await shownSeconds(page), paused);
  await page.keyboard.press('k');
  await page.waitForTimeout(1500);
  assert.ok(await shownSeconds(page) > paused);
  assert.deepEqual(errors, []);
  await page.close();
});

// The ways a song from outside the list comes in, each given the file's
// bytes and name on a page opened at `url`.
const comings = {
  'file input': async (page, name, bytes) => {
    await page.setInputFiles('#file', { name, mimeType: 'application/octet-stream', buffer: bytes });
  },
  // A drop event on the page holding the file, as a drag from a file
  // manager delivers it.
  'drop': async (page, name, bytes) => {
    const transfer = await page.evaluateHandle(([name, bytes]) => {
      const t = new DataTransfer();
      t.items.add(new File([new Uint8Array(bytes)], name));
      return t;
    }, [name, Array.from(bytes)]);
    await page.dispatchEvent('#drop', 'drop', { dataTransfer: transfer });
  },
};

test('a song dropped on the page, chosen, or named by ?song=URL plays under the name it came by', async () => {
  const meadow = await readFile(join(songs, 'plain/meadow.tun'));
  const cases = [
    { how: 'file input', shown: 'meadow.tun' },
    { how: 'drop', shown: 'meadow.tun' },
    { query: '?song=test-songs/plain/meadow.tun', shown: 'test-songs/plain/meadow.tun' },
  ];
  for (const c of cases) {
    const { page, errors } = await openPage(browser, url + (c.query ?? ''));
    if (c.how) await comings[c.how](page, 'meadow.tun', meadow);
    const label = c.how ?? c.query;
    await page.waitForFunction(() => window.playtun.mode() === 'player', null, { timeout: 5000 });
    const row = (await page.evaluate(() => window.playtun.screenText()))[1];
    assert.ok(row.startsWith(`Playing ${c.shown} at 50hz `), `${label}: "${row}"`);
    assert.equal(row.slice(69), '00:00/00:55', label);
    await page.click('#screen');
    await page.waitForFunction(() => window.playtun.firstSound() !== null, null, { timeout: 5000 });
    assert.deepEqual(errors, [], label);
    await page.close();
  }
});

test('a garbled file or a URL that gives no song shows the loader\'s message on the selector', async () => {
  const garbled = Buffer.from('this is no song at all, just text');
  const cases = [
    { how: 'file input', name: 'garbled.tun', bytes: garbled, line: '?No SID-DUMP file  ERROR' },
    { how: 'file input', name: 'empty.tun', bytes: Buffer.alloc(0), line: '?No SID-DUMP file  ERROR' },
    { how: 'drop', name: 'garbled.tun', bytes: garbled, line: '?No SID-DUMP file  ERROR' },
    { query: '?song=index.html', line: '?No SID-DUMP file  ERROR' },
    { query: '?song=test-songs/nowhere.tun', line: 'File not found.' },
  ];
  for (const c of cases) {
    const { page } = await openPage(browser, url + (c.query ?? ''));
    if (c.how) await comings[c.how](page, c.name, c.bytes);
    await page.waitForFunction((line) => window.playtun.screenText()[1].startsWith(line), c.line, { timeout: 5000 });
    assert.equal(await page.evaluate(() => window.playtun.mode()), 'selector', c.name ?? c.query);
    await page.close();
  }
});

const playingName = async (page) => {
  const row = (await page.evaluate(() => window.playtun.screenText()))[1];
  return row.match(/^Playing (.*?) at \d+hz /)?.[1];
};

// As in the program: a song chosen in the selector has the list's song
// files before and after it; a song from outside the list has none.
test('Page Down and Page Up go to the next and previous song of the list', async () => {
  const { page, errors } = await openPage(browser, url);
  await page.focus('#screen');
  // songs/imported, second in the list: <..>, then three songs.
  for (const key of ['ArrowDown', 'Enter', 'ArrowDown', 'Enter']) await page.keyboard.press(key);
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  const steps = [
    ['', 'guyshavitt-dustandrust.tun'],
    ['PageUp', 'guyshavitt-dustandrust.tun'],  // the first song: none before it
    ['PageDown', '...-cheese-around-the-clock.tun'],
    ['PageDown', 'vent-arkijuusto.tun'],
    ['PageDown', 'vent-arkijuusto.tun'],  // the last
    ['PageUp', '...-cheese-around-the-clock.tun'],
  ];
  for (const [key, name] of steps) {
    if (key) await page.keyboard.press(key);
    await page.waitForTimeout(250);
    assert.equal(await playingName(page), name, `after ${key}`);
    assert.equal(await page.evaluate(() => window.playtun.mode()), 'player', `after ${key}`);
  }
  await page.setInputFiles('#file', join(songs, 'plain/meadow.tun'));
  await page.waitForFunction(() => window.playtun.screenText()[1].startsWith('Playing meadow.tun '));
  await page.focus('#screen');
  for (const key of ['PageDown', 'PageUp']) {
    await page.keyboard.press(key);
    await page.waitForTimeout(250);
    assert.equal(await playingName(page), 'meadow.tun', `a song from outside the list, after ${key}`);
  }
  assert.deepEqual(errors, []);
  await page.close();
});

test('Alt+Return asks for full screen and gives it back', async () => {
  const { page, errors } = await openPage(browser, `${url}?song=test-songs/plain/meadow.tun`);
  await page.focus('#screen');
  const shown = () => page.evaluate(() => document.fullscreenElement?.id ?? null);
  assert.equal(await shown(), null);
  await page.keyboard.press('Alt+Enter');
  await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 5000 });
  assert.equal(await shown(), 'screen');
  await page.keyboard.press('Alt+Enter');
  await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 5000 });
  assert.deepEqual(errors, []);
  await page.close();
});

test('g and the Download WAV button save the song playing as the page\'s WAV', async () => {
  const bytes = await readFile(join(songs, 'wide/panorama.tun'));
  const asks = {
    'the key g': (page) => page.keyboard.press('g'),
    'the button': (page) => page.click('#wav'),
  };
  for (const [label, ask] of Object.entries(asks)) {
    const { page } = await openPage(browser, url);
    await page.setInputFiles('#file', join(songs, 'wide/panorama.tun'));
    await page.waitForFunction(() => window.playtun.mode() === 'player');
    await page.focus('#screen');
    const [download] = await Promise.all([page.waitForEvent('download'), ask(page)]);
    assert.equal(download.suggestedFilename(), 'panorama.wav', label);
    const saved = await readFile(await download.path());
    const made = await page.evaluate(async (bytes) => {
      const wav = await window.playtun.wav(new Uint8Array(bytes));
      const digest = await crypto.subtle.digest('SHA-256', wav);
      return { length: wav.length, sha: Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('') };
    }, Array.from(bytes));
    assert.ok(saved.length > 44, label);
    assert.equal(saved.length, made.length, label);
    assert.equal(sha256(saved), made.sha, `${label}: the file saved is not the page's WAV`);
    await page.close();
  }
});

// The first visit in a new browser profile (nothing cached): a song named
// by ?song=URL, then a click on the screen, and the time from the click to
// the worklet's message that it rendered a sample other than silence.
test('the first click starts the sound: the time to the first sound', async () => {
  const fresh = await launch();
  try {
    const { page, errors } = await openPage(fresh, `${url}?song=test-songs/plain/meadow.tun`);
    await page.click('#screen');
    await page.waitForFunction(() => window.playtun.firstSound() !== null, null, { timeout: 10000 });
    const ms = await page.evaluate(() => window.playtun.firstSound());
    console.log(`first sound ${ms.toFixed(1)} ms after the first click`);
    assert.ok(ms > 0, `${ms} ms`);
    assert.deepEqual(errors, []);
  } finally {
    await fresh.close();
  }
});
