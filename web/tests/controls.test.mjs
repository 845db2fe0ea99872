// The page on a phone and a narrow screen, its buttons, the browser's media
// controls, play lists and a visit without the network, in the system's
// headless Chromium.
//
// Environment: as page.test.mjs, and in PLAYTUN_NATIVE also
// vent-arkijuusto-mute2.wav (tuntool render --mute 2),
// vent-arkijuusto.tags (the native tags of that song, as metaflac lists
// them) and short.tun, a song of under a second without a loop section.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { createHash } from 'node:crypto';
import { join } from 'node:path';
import { serve, launch, openPage } from './browser.mjs';

const web = process.env.PLAYTUN_WEB;
const native = process.env.PLAYTUN_NATIVE;
const songs = new URL('../../songs/', import.meta.url).pathname;
const VENT = 'test-songs/imported/vent-arkijuusto.tun';

let server, url, browser;
before(async () => {
  ({ server, url } = await serve(web, { 'test-songs': songs }));
  browser = await launch();
});
after(async () => {
  await browser?.close();
  server?.close();
});

const screenText = (page) => page.evaluate(() => window.playtun.screenText());
const playingName = async (page) => (await screenText(page))[1].match(/^(?:Playing|Paused ) (.*?) at \d+hz /)?.[1];
async function shownSeconds(page) {
  const m = (await screenText(page))[1].slice(69, 74).match(/^(\d\d):(\d\d)$/);
  assert.ok(m, 'no position on the Playing line');
  return Number(m[1]) * 60 + Number(m[2]);
}
const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

// Opens songs/imported (the selector's second entry: the page's list has no
// parent entry) and its first song; `inside`: the bar is on imported's <..>.
async function playImported(page, { inside = false } = {}) {
  await page.focus('#screen');
  const keys = inside ? ['ArrowDown', 'Enter'] : ['ArrowDown', 'Enter', 'ArrowDown', 'Enter'];
  for (const key of keys) await page.keyboard.press(key);
  await page.waitForFunction(() => window.playtun.mode() === 'player');
}

// The canvas as it shows on the page, in CSS pixels: { width, height, data }
// (RGBA), decoded by the browser from a screenshot.
async function canvasShot(page) {
  const png = await page.locator('#screen').screenshot({ scale: 'css' });
  return page.evaluate(async (b64) => {
    const bitmap = await createImageBitmap(await (await fetch(`data:image/png;base64,${b64}`)).blob());
    const c = new OffscreenCanvas(bitmap.width, bitmap.height);
    const g = c.getContext('2d');
    g.drawImage(bitmap, 0, 0);
    return { width: bitmap.width, height: bitmap.height, data: Array.from(g.getImageData(0, 0, c.width, c.height).data) };
  }, png.toString('base64'));
}

// How alike (Pearson's correlation of the brightness, 1 for the same
// picture) the shot's rows y0..y1 (as fractions of its height) are to the
// 640 x 400 picture `rgb(x, y, c)` averaged down to the shot's size, the
// picture moved `shift` pixels to the left. Correlation, not a difference,
// as the screens are mostly black.
function likeness(shot, rgb, { y0 = 0, y1 = 1, shift = 0 } = {}) {
  const fx = 640 / shot.width, fy = 400 / shot.height;
  const a = [], b = [];
  for (let y = Math.floor(y0 * shot.height); y < Math.floor(y1 * shot.height); ++y) {
    for (let x = 0; x < shot.width; ++x) {
      let sum = 0, weight = 0;
      for (let sy = Math.floor(y * fy); sy < Math.min(400, Math.ceil((y + 1) * fy)); ++sy) {
        const wy = Math.min(sy + 1, (y + 1) * fy) - Math.max(sy, y * fy);
        for (let sx = Math.floor(x * fx); sx < Math.min(640, Math.ceil((x + 1) * fx)); ++sx) {
          const w = wy * (Math.min(sx + 1, (x + 1) * fx) - Math.max(sx, x * fx));
          for (let c = 0; c < 3; ++c) sum += w * rgb((sx + shift) % 640, sy, c);
          weight += w;
        }
      }
      a.push(sum / weight);
      const at = 4 * (y * shot.width + x);
      b.push(shot.data[at] + shot.data[at + 1] + shot.data[at + 2]);
    }
  }
  const mean = (v) => v.reduce((s, x) => s + x, 0) / v.length;
  const ma = mean(a), mb = mean(b);
  let ab = 0, aa = 0, bb = 0;
  for (let i = 0; i < a.length; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) ** 2;
    bb += (b[i] - mb) ** 2;
  }
  return ab / Math.sqrt(aa * bb);
}

const screens = [
  { name: 'phone', options: { viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true, deviceScaleFactor: 3 } },
  { name: 'narrow', options: { viewport: { width: 320, height: 568 }, hasTouch: true } },
];

for (const screen of screens) {
  test(`${screen.name}: the whole screen within the page's width, the selector as the native one, the banner and clock; taps on the buttons`, { timeout: 90000 }, async () => {
    const context = await launch(screen.options);
    try {
      const { page, errors } = await openPage(context, url);
      const layout = () => page.evaluate(() => {
        const r = document.getElementById('screen').getBoundingClientRect();
        const widest = Math.max(...Array.from(document.querySelectorAll('main *'), (e) => e.getBoundingClientRect().right));
        return { left: r.left, right: r.right, top: r.top, width: document.documentElement.clientWidth,
          scroll: document.documentElement.scrollWidth, widest };
      });
      const check = async (label) => {
        const l = await layout();
        assert.ok(l.scroll <= l.width, `${label}: the page scrolls sideways (${l.scroll} > ${l.width})`);
        assert.ok(l.left >= 0 && l.right <= l.width && l.top >= 0, `${label}: the canvas at ${l.left}..${l.right}`);
        assert.ok(l.widest <= l.width, `${label}: a control reaches x ${l.widest}`);
      };
      await check('selector');

      // The selector against the native window's pixels (on songs/imported),
      // scaled; the same picture one character to the side must not pass.
      await page.focus('#screen');
      for (const key of ['ArrowDown', 'Enter']) await page.keyboard.press(key);  // songs/imported
      await page.waitForTimeout(200);
      const selector = await readFile(join(native, 'selector.rgb'));
      const nativePixel = (x, y, c) => selector[3 * (y * 640 + x) + c];
      const shot = await canvasShot(page);
      assert.ok(shot.width >= 300, `the canvas is ${shot.width} pixels wide`);
      const near = likeness(shot, nativePixel), aside = likeness(shot, nativePixel, { shift: 80 });
      console.log(`${screen.name}: the selector's likeness to the native screen ${near.toFixed(2)}, moved ${aside.toFixed(2)}`);
      assert.ok(near > 0.8 && aside < near - 0.3, `selector: ${near.toFixed(2)} like the native screen, ${aside.toFixed(2)} moved`);

      // A song: rows 0..2 (the banner and the Playing line with the clock)
      // as the page's own frame draws them.
      await playImported(page, { inside: true });
      await page.tap('#play');
      await page.waitForFunction(() => window.playtun.state()?.paused === true);
      await check('player');
      const frame = await page.evaluate(() => Array.from(window.playtun.pixels()));
      const framePixel = (x, y, c) => frame[4 * (y * 640 + x) + c];
      const top = await canvasShot(page);
      const banner = likeness(top, framePixel, { y1: 0.06 });
      const bannerAside = likeness(top, framePixel, { y1: 0.06, shift: 80 });
      console.log(`${screen.name}: the banner's and clock's likeness ${banner.toFixed(2)}, moved ${bannerAside.toFixed(2)}`);
      assert.ok(banner > 0.8 && bannerAside < banner - 0.3, `banner and clock: ${banner.toFixed(2)}, moved ${bannerAside.toFixed(2)}`);
      assert.match((await screenText(page))[1], /^Paused .* \d\d:\d\d\/\d\d:\d\d$/);
      assert.equal(await page.getAttribute('#play', 'aria-label'), 'Play');

      // Taps: play, the next song, back, a seek on the bar.
      await page.tap('#play');
      await page.waitForFunction(() => window.playtun.audioState() === 'running' && !window.playtun.state().paused);
      const first = await playingName(page);
      await page.tap('#next');
      await page.waitForFunction((first) => !window.playtun.screenText()[1].includes(first), first);
      assert.equal(await playingName(page), '...-cheese-around-the-clock.tun');
      await page.tap('#previous');
      await page.waitForFunction((first) => window.playtun.screenText()[1].includes(first), first);
      await page.locator('#seek').fill('40');
      await page.waitForTimeout(300);
      const moved = await shownSeconds(page);
      assert.ok(moved >= 40 && moved <= 41, `after the seek bar to 40 s: ${moved} s`);
      await page.waitForTimeout(1500);
      assert.ok(await shownSeconds(page) > moved, 'the song goes on from where the bar put it');
      const shown = (await screenText(page))[1].slice(69);  // MM:SS/MM:SS
      assert.equal(await page.textContent('#time'), shown.replace('/', ' / '));
      assert.deepEqual(errors, []);
    } finally {
      await context.close();
    }
  });
}

test('a voice muted with its button: its samples are gone from the worklet\'s output, as tuntool render --mute gives', { timeout: 90000 }, async () => {
  const { page, errors } = await openPage(browser, `${url}?song=${VENT}`);
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  assert.equal(await page.locator('#voices button').count(), 3);
  await page.click('#voices button:nth-child(2)');
  assert.equal(await page.getAttribute('#voices button:nth-child(2)', 'aria-pressed'), 'true');
  const mask = await page.evaluate(() => window.playtun.state().muteMask);
  assert.equal(mask, 0b010);
  const bytes = Array.from(await readFile(join(songs, 'imported/vent-arkijuusto.tun')));
  const frames = 5 * 48000;
  const got = await page.evaluate(async ([bytes, frames, mask]) => {
    const samples = await window.playtun.render(new Uint8Array(bytes), frames, mask);
    return Array.from(new Uint8Array(await crypto.subtle.digest('SHA-256', samples.buffer)));
  }, [bytes, frames, mask]);
  const rendered = (await readFile(join(native, 'vent-arkijuusto-mute2.wav'))).subarray(44, 44 + 4 * frames);
  assert.equal(Buffer.from(got).toString('hex'), sha256(rendered));
  await page.click('#voices button:nth-child(2)');
  assert.equal(await page.evaluate(() => window.playtun.state().muteMask), 0);
  assert.deepEqual(errors, []);
  await page.close();
});

test('the media controls: the credits as the native tags, and their actions', { timeout: 90000 }, async () => {
  const tags = Object.fromEntries((await readFile(join(native, 'vent-arkijuusto.tags'), 'utf8')).trim().split('\n')
    .map((line) => line.split(/=(.*)/s).slice(0, 2)));
  const { page, errors } = await openPage(browser, url);
  await page.click('#screen');
  await playImported(page);
  await page.waitForFunction(() => window.playtun.audioState() === 'running');
  const session = () => page.evaluate(() => ({ state: navigator.mediaSession.playbackState,
    title: navigator.mediaSession.metadata?.title, artist: navigator.mediaSession.metadata?.artist,
    album: navigator.mediaSession.metadata?.album }));
  const act = (action, details) => page.evaluate(([a, d]) => window.playtun.mediaAction(a, d), [action, details]);
  const first = await playingName(page);
  await act('nexttrack');
  await act('nexttrack');
  assert.equal(await playingName(page), 'vent-arkijuusto.tun');
  await page.waitForTimeout(100);
  assert.deepEqual(await session(), { state: 'playing', title: tags.TITLE, artist: tags.ARTIST, album: tags.DATE });
  await act('pause');
  await page.waitForTimeout(100);
  assert.equal((await session()).state, 'paused');
  assert.match((await screenText(page))[1], /^Paused /);
  await act('play');
  await act('seekto', { seekTime: 70 });
  await page.waitForTimeout(300);
  const at = await shownSeconds(page);
  assert.ok(at >= 70 && at <= 71, `seekto 70: ${at} s`);
  await act('seekbackward', { seekOffset: 30 });
  await page.waitForTimeout(300);
  const back = await shownSeconds(page);
  assert.ok(back >= 40 && back <= 42, `30 s back from ${at}: ${back} s`);
  await act('previoustrack');
  await act('previoustrack');
  assert.equal(await playingName(page), first);
  await page.keyboard.press('Escape');
  await page.waitForTimeout(100);
  assert.equal((await session()).state, 'none');
  assert.deepEqual(errors, []);
  await page.close();
});

test('three files chosen at once play as a list, in the order chosen: the next button and Page Down walk it', { timeout: 90000 }, async () => {
  const { page, errors } = await openPage(browser, url);
  const chosen = ['wide/panorama.tun', 'chip/circuit.tun', 'lullaby.tun'];
  await page.setInputFiles('#file', chosen.map((name) => join(songs, name)));
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  const names = chosen.map((name) => name.split('/').pop());
  assert.deepEqual((await page.evaluate(() => window.playtun.playList())).names, names);
  const now = async () => ({ name: await playingName(page), next: await page.isEnabled('#next'),
    previous: await page.isEnabled('#previous') });
  assert.deepEqual(await now(), { name: names[0], next: true, previous: false });
  await page.click('#next');
  await page.waitForFunction((n) => window.playtun.screenText()[1].includes(n), names[1]);
  assert.deepEqual(await now(), { name: names[1], next: true, previous: true });
  await page.focus('#screen');
  await page.keyboard.press('PageDown');
  await page.waitForFunction((n) => window.playtun.screenText()[1].includes(n), names[2]);
  assert.deepEqual(await now(), { name: names[2], next: false, previous: true });
  await page.keyboard.press('PageDown');  // the last: it stays
  await page.waitForTimeout(250);
  assert.equal(await playingName(page), names[2]);
  await page.keyboard.press('PageUp');
  await page.waitForFunction((n) => window.playtun.screenText()[1].includes(n), names[1]);
  assert.match(await page.title(), /\(2 of 3\)$/);
  // Escape ends the list; a song of the selector has its own neighbours.
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => window.playtun.mode() === 'selector');
  assert.equal((await page.evaluate(() => window.playtun.playList())).at, -1);

  // A song of the list plays once: at its end the next one starts, and
  // after the last the selector comes back.
  await page.click('#screen');
  await page.setInputFiles('#file', [join(native, 'short.tun'), join(songs, 'lullaby.tun')]);
  await page.waitForFunction(() => window.playtun.screenText()[1].includes('lullaby.tun'), null, { timeout: 5000 });
  await page.setInputFiles('#file', [join(native, 'short.tun')]);
  await page.waitForFunction(() => window.playtun.screenText()[1].includes('short.tun'));
  await page.waitForFunction(() => window.playtun.mode() === 'selector', null, { timeout: 5000 });
  assert.equal((await page.evaluate(() => window.playtun.playList())).at, -1);
  assert.deepEqual(errors, []);
  await page.close();
});

test('every control has a name in the accessibility tree, and a focused button takes Return and Space itself', { timeout: 90000 }, async () => {
  const { page, errors } = await openPage(browser, `${url}?song=${VENT}`);
  await page.waitForFunction(() => window.playtun.mode() === 'player');
  await page.waitForTimeout(100);
  const tree = await page.locator('main').ariaSnapshot();
  const controls = tree.split('\n').filter((line) => /^\s*- (button|slider)\b/.test(line));
  assert.ok(controls.length >= 10, tree);  // 3 transport, 3 voices, open, WAV, link, and the bar
  for (const line of controls) assert.match(line, /^\s*- (button|slider) "[^"]+"/, `no name: ${line}`);
  assert.ok(controls.some((line) => line.includes('"Mute voice 3"')), tree);
  assert.equal(await page.locator('#share').isEnabled(), true, 'a song from a URL can be shared');

  await page.focus('#play');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => window.playtun.state().paused);
  await page.keyboard.press(' ');
  await page.waitForFunction(() => !window.playtun.state().paused);
  await page.focus('#voices button:nth-child(1)');
  await page.keyboard.press('Enter');
  assert.equal(await page.evaluate(() => window.playtun.state().muteMask), 1);

  await page.context().grantPermissions(['clipboard-read', 'clipboard-write']);
  await page.click('#share');
  const link = await page.evaluate(() => navigator.clipboard.readText());
  assert.equal(new URL(link).searchParams.get('song'), VENT);
  assert.deepEqual(errors, []);
  await page.close();
});

// A server of its own, shut once the page has been seen: the reload can
// only come from what the browser kept.
test('after one visit the page plays a bundled song with the network gone', { timeout: 90000 }, async () => {
  const own = await serve(web);
  const context = await launch();
  try {
    const { page, errors } = await openPage(context, own.url);
    await page.evaluate(async () => {
      await navigator.serviceWorker.ready;
      if (!navigator.serviceWorker.controller) {
        await new Promise((resolve) => navigator.serviceWorker.addEventListener('controllerchange', resolve));
      }
    });
    // Every file this visit fetched is kept, whether the worker lists it or not.
    const missing = await page.evaluate(async () => {
      const names = performance.getEntriesByType('resource').map((e) => e.name);
      let left = names;
      for (let tries = 0; tries < 50 && left.length > 0; ++tries) {
        await new Promise((resolve) => setTimeout(resolve, 200));
        const now = [];
        for (const name of left) if (!await caches.match(name)) now.push(name);
        left = now;
      }
      return left;
    });
    assert.deepEqual(missing, [], 'files of the visit not kept');
    own.server.closeAllConnections();
    await new Promise((resolve) => own.server.close(resolve));
    await context.setOffline(true);
    await page.reload();
    await page.waitForFunction(() => window.playtun && window.playtun.ready, null, { timeout: 20000 });
    await page.click('#screen');
    await playImported(page);
    await page.waitForFunction(() => window.playtun.firstSound() !== null, null, { timeout: 10000 });
    const start = await shownSeconds(page);
    await page.waitForTimeout(1300);
    assert.ok(await shownSeconds(page) > start, 'the song plays offline');
    assert.deepEqual(errors, []);
  } finally {
    await context.close();
  }
});
