// The web page in the system's headless Chromium, against the native
// program: the same samples as record mode, the same selector screen as the
// native window, songs opened through the file input, and the loader's
// message for a broken file.
//
// Environment: PLAYTUN_WEB (the built page), PLAYTUN_NATIVE (a folder with
// NAME.wav, record mode's file for songs/NAME.tun with '/' as '_', and
// selector.rgb, the native selector window's pixels on songs/).
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
  ({ server, url } = await serve(web));
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
        const wav = window.playtun.wav(new Uint8Array(bytes));
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

test('a garbled file shows the loader\'s message on the selector', async () => {
  const cases = [
    { name: 'garbled.tun', bytes: Buffer.from('this is no song at all, just text'), line: '?No SID-DUMP file  ERROR' },
    { name: 'empty.tun', bytes: Buffer.alloc(0), line: '?No SID-DUMP file  ERROR' },
  ];
  for (const c of cases) {
    const { page } = await openPage(browser, url);
    await page.setInputFiles('#file', { name: c.name, mimeType: 'application/octet-stream', buffer: c.bytes });
    await page.waitForFunction((line) => window.playtun.screenText()[1].startsWith(line), c.line, { timeout: 5000 });
    assert.equal(await page.evaluate(() => window.playtun.mode()), 'selector', c.name);
    await page.close();
  }
});
