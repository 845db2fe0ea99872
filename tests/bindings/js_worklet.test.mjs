// The module's audio worklet node in headless Chromium, served from the
// installed package as any file host would: rendered offline it gives
// record mode's samples from both WebAssembly builds; playing live, the
// position advances, stops while paused, moves with a seek, the muted voices
// fall silent, and the posted snapshots hold record mode's samples.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, mkdtempSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { tmpdir } from 'node:os';
import { launch, serve } from '../../web/tests/browser.mjs';

const env = process.env;
const WAV_HEADER = 44;
let browser, server, url, page;
const errors = [];

before(async () => {
  const site = mkdtempSync(join(tmpdir(), 'tonera-site-'));
  writeFileSync(join(site, 'index.html'), '<!doctype html><title>tonera</title><link rel="icon" href="data:,"><button id="go">go</button>\n');
  ({ server, url } = await serve(site, { tonera: env.TONERA_PACKAGE, songs: env.SONGS }));
  browser = await launch();
  page = await browser.newPage();
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
});

after(async () => {
  await browser?.close();
  server?.close();
});

// Record mode's stereo frames [from, to) of a bundled song as 16-bit samples.
function recorded(name, from, to) {
  const data = readFileSync(join(env.TONERA_NATIVE, `${name}.wav`)).subarray(WAV_HEADER + 4 * from, WAV_HEADER + 4 * to);
  return Array.from(new Int16Array(data.buffer, data.byteOffset, data.length / 2));
}

for (const simd of [false, true]) {
  test(`rendered offline, the node gives record mode's samples (${simd ? 'SIMD' : 'plain'} build)`, { timeout: 60000 }, async () => {
    const frames = 3 * 48000;
    const got = await page.evaluate(async ({ simd, frames }) => {
      const { createToneraNode } = await import('/tonera/tonera.js');
      const bytes = new Uint8Array(await (await fetch('/songs/chip/circuit.tun')).arrayBuffer());
      const context = new OfflineAudioContext({ numberOfChannels: 2, length: frames, sampleRate: 48000 });
      const node = await createToneraNode(context, bytes, { simd });
      node.connect(context.destination);
      const buffer = await context.startRendering();
      const samples = [];
      let inexact = 0;
      for (let i = 0; i < frames; ++i) {
        for (const channel of [buffer.getChannelData(0), buffer.getChannelData(1)]) {
          const s = channel[i] * 32768;
          if (!Number.isInteger(s)) ++inexact;
          samples.push(Math.round(s));
        }
      }
      return { samples, inexact, facts: node.facts };
    }, { simd, frames });
    assert.equal(got.inexact, 0, 'every sample a 16-bit sample / 32768');
    assert.equal(got.facts.frames > 0 && got.facts.channels > 0, true);
    const expected = recorded('chip_circuit', 0, frames);
    assert.ok(expected.some((s) => s !== 0), 'the opening is not silent');
    assert.deepEqual(got.samples, expected);
    assert.deepEqual(errors, []);
  });
}

test('the node refuses a song that is not one, and a context at another rate', { timeout: 60000 }, async () => {
  const got = await page.evaluate(async () => {
    const { createToneraNode } = await import('/tonera/tonera.js');
    const text = new Uint8Array(await (await fetch('/songs/lullaby.txt')).arrayBuffer());
    const outcomes = [];
    for (const rate of [48000, 44100]) {
      const context = new OfflineAudioContext({ numberOfChannels: 2, length: 128, sampleRate: rate });
      try {
        await createToneraNode(context, text);
        outcomes.push('opened');
      } catch (e) {
        outcomes.push(`${e.name}: ${e.message}`);
      }
    }
    return outcomes;
  });
  assert.equal(got[0], 'ToneraError: not a song file (wrong magic, too short, frame rate 0 or no whole frame)');
  assert.match(got[1], /^RangeError: .*44100 Hz/);
});

test('playing live: position, pause, play, seek and mute', { timeout: 60000 }, async () => {
  await page.click('#go');  // a user's gesture lets the page start an AudioContext
  const got = await page.evaluate(async () => {
    const { createToneraNode } = await import('/tonera/tonera.js');
    const wait = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    const bytes = new Uint8Array(await (await fetch('/songs/chip/circuit.tun')).arrayBuffer());
    const context = new AudioContext({ sampleRate: 48000 });
    const node = await createToneraNode(context, bytes);
    const shots = [];
    node.onsnapshot = (s) => shots.push(s);
    node.connect(context.destination);
    await context.resume();
    await wait(700);
    const early = shots.find((s) => s.positionFrames >= 2048) ?? null;
    const playing = shots.map((s) => s.positionFrames);
    node.pause();
    await wait(200);
    const pausedAt = node.snapshot.positionFrames;
    const countPaused = shots.length;
    await wait(400);
    const stillAt = node.snapshot.positionFrames;
    const countLater = shots.length;
    node.play();
    await wait(400);
    const resumedAt = node.snapshot.positionFrames;
    node.seek(5000);
    await wait(300);
    const seekedFrame = node.snapshot.songFrame;
    const frameRate = node.facts.frameRate;
    node.mute(0xff);
    await wait(300);
    const mutedVolumes = node.snapshot.voiceVolume;
    await context.close();
    return { playing, early: early && { position: early.positionFrames, scope: Array.from(early.scope) },
      pausedAt, stillAt, countPaused, countLater, resumedAt, seekedFrame, frameRate, mutedVolumes };
  });
  assert.ok(got.playing.length >= 3, `snapshots while playing: ${got.playing.length}`);
  for (let i = 1; i < got.playing.length; ++i) assert.ok(got.playing[i] > got.playing[i - 1], 'the position advances');
  assert.ok(got.early, 'a snapshot after 2048 frames');
  assert.deepEqual(got.early.scope, recorded('chip_circuit', got.early.position - 1024, got.early.position));
  assert.equal(got.stillAt, got.pausedAt, 'the position stands while paused');
  assert.equal(got.countLater, got.countPaused, 'no snapshot while paused');
  assert.ok(got.resumedAt > got.pausedAt, 'play goes on');
  const target = (5000 * got.frameRate) / 1000;
  assert.ok(got.seekedFrame >= target && got.seekedFrame < target + got.frameRate, `after the seek: frame ${got.seekedFrame}`);
  assert.ok(got.mutedVolumes.length > 0);
  assert.deepEqual(got.mutedVolumes, got.mutedVolumes.map(() => 0));
  assert.deepEqual(errors, []);
});
