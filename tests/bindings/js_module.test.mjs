// The JavaScript module as installed from its packed tarball, in Node: the
// bundled songs rendered from both WebAssembly builds give record mode's
// samples, loops, length, fade and mutes give tuntool render's bytes, open
// errors throw the library's texts. Run by js_tests.sh, which gives
// TONERA_PACKAGE (the installed package's folder), TONERA_NATIVE (record
// mode's WAV files, NAME.wav), SONGS, TUNTOOL and TONERA_EXPECTED_VERSION.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync, statSync, mkdtempSync, rmSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { join, relative } from 'node:path';
import { tmpdir } from 'node:os';
import { pathToFileURL } from 'node:url';

const env = process.env;
const songs = env.SONGS;
const { Tonera, ToneraError, LOOP_FOREVER, E_INVALID } = await import(pathToFileURL(join(env.TONERA_PACKAGE, 'tonera.js')));
const WAV_HEADER = 44;
const BLOCK = 1024;  // record mode writes whole blocks of frames

function bundledSongs(folder = songs) {
  return readdirSync(folder).sort().flatMap((name) => {
    const path = join(folder, name);
    if (statSync(path).isDirectory()) return bundledSongs(path);
    return /\.tun$/i.test(name) ? [path] : [];
  });
}

function renderAll(song, chunk = 48000) {
  const parts = [];
  let total = 0;
  for (;;) {
    const part = song.render(chunk);
    parts.push(part);
    total += part.length;
    if (part.length < 2 * chunk) break;
  }
  const all = new Int16Array(total);
  let at = 0;
  for (const part of parts) { all.set(part, at); at += part.length; }
  return all;
}

const pcm = (samples) => Buffer.from(samples.buffer, samples.byteOffset, samples.byteLength);
const wavData = (path) => readFileSync(path).subarray(WAV_HEADER);

for (const simd of [false, true]) {
  test(`bundled songs give record mode's samples (${simd ? 'SIMD' : 'plain'} build)`, async () => {
    const tonera = await Tonera.load({ simd });
    assert.equal(tonera.simd, simd);
    for (const path of bundledSongs()) {
      const name = relative(songs, path).replaceAll('/', '_').replace(/\.tun$/i, '');
      const song = tonera.open(readFileSync(path));
      const rendered = pcm(renderAll(song));
      // Once through exactly; record mode may stop inside the last song
      // frame or run on past it, so what both have is compared.
      assert.equal(rendered.length, 4 * song.frames * song.samplesPerFrame, name);
      assert.equal(song.positionFrames, rendered.length / 4, name);
      assert.equal(song.render(10).length, 0, `${name}: nothing after the end`);
      song.close();
      const recorded = wavData(join(env.TONERA_NATIVE, `${name}.wav`));
      const common = Math.min(rendered.length, recorded.length);
      assert.ok(common > rendered.length - 4 * BLOCK, `${name}: record mode has ${recorded.length} bytes`);
      assert.ok(rendered.subarray(0, common).equals(recorded.subarray(0, common)), `${name}: samples differ`);
    }
  });
}

test("loops, length, fade and mutes give tuntool render's bytes", async () => {
  const tonera = await Tonera.load();
  const path = join(songs, 'imported', 'vent-arkijuusto.tun');
  const bytes = readFileSync(path);
  const rows = [
    { options: ['--loops', '2'], loops: 2 },
    { options: ['--length', '7.5'], length: 7500 },
    { options: ['--loops', '2', '--fade', '1.5'], loops: 2, fade: 1500 },
    { options: ['--length', '4', '--fade', '10'], length: 4000, fade: 10000 },
    { options: ['--mute', '1,3'], mute: 0b101 },
  ];
  const work = mkdtempSync(join(tmpdir(), 'tonera-js-'));
  try {
    for (const r of rows) {
      const what = r.options.join(' ');
      execFileSync(env.TUNTOOL, ['render', '-q', ...r.options, '-o', join(work, 'out.wav'), path]);
      let expected = wavData(join(work, 'out.wav'));
      const song = tonera.open(bytes);
      assert.notEqual(song.loop, null, 'the song used here has a loop section');
      song.setLoops(r.loops ?? 1);
      song.setLength(r.length ?? 0);
      song.setFade(r.fade ?? 0);
      song.muteMask = r.mute ?? 0;
      assert.equal(song.muteMask, r.mute ?? 0, what);
      const length = song.lengthFrames;
      let rendered = pcm(renderAll(song, 30001));
      song.close();
      assert.equal(rendered.length, 4 * length, what);
      if (r.loops || r.length) {
        assert.equal(rendered.length, expected.length, what);
      } else {
        // Unshaped, tuntool render writes record mode's blocks.
        const common = Math.min(rendered.length, expected.length);
        assert.ok(common > rendered.length - 4 * BLOCK, what);
        rendered = rendered.subarray(0, common);
        expected = expected.subarray(0, common);
      }
      assert.ok(rendered.equals(expected), `${what}: samples differ from tuntool render's`);
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

test('open errors throw the library\'s code and text', async () => {
  const tonera = await Tonera.load();
  const good = readFileSync(join(songs, 'lullaby.tun'));
  const notASong = 'not a song file (wrong magic, too short, frame rate 0 or no whole frame)';
  const nine = Buffer.from(good);
  nine[3] = (nine[3] & 0xf0) | 9;
  const rows = [
    ['empty', new Uint8Array(0), -2, notASong],
    ['wrong magic', Buffer.concat([Buffer.from('TXK'), good.subarray(3)]), -2, notASong],
    ['the header alone', good.subarray(0, 12), -2, notASong],
    ['score text', readFileSync(join(songs, 'lullaby.txt')), -2, notASong],
    ['nine channels', nine, -5, 'channel count invalid (not 1 to 8)'],
  ];
  for (const [what, data, code, text] of rows) {
    assert.throws(() => tonera.open(data), (e) => e instanceof ToneraError && e instanceof Error &&
      e.code === code && e.message === text, what);
  }
  assert.throws(() => tonera.open('lullaby.tun'), TypeError);
});

test('wrong arguments and a closed song throw', async () => {
  const tonera = await Tonera.load();
  const song = tonera.open(readFileSync(join(songs, 'lullaby.tun')));
  const invalid = (e) => e instanceof ToneraError && e.code === E_INVALID && e.message === 'invalid argument';
  const rows = [
    ['loops -2', () => song.setLoops(-2), RangeError],
    ['mute bit 8', () => { song.muteMask = 0x100; }, invalid],
    ['seek past the end', () => song.seekFrame(song.frames + 1), invalid],
    ['frames as a fraction', () => song.render(1.5), RangeError],
    ['a sample format', () => song.render(10, 'int8'), RangeError],
  ];
  for (const [what, call, error] of rows) assert.throws(call, error, what);
  song.close();
  song.close();
  assert.equal(song.closed, true);
  for (const call of [() => song.render(10), () => song.frames, () => song.snapshot()]) {
    assert.throws(call, /closed/);
  }
});

test('facts, credits, floats, seeks, the snapshot and the version', async () => {
  const tonera = await Tonera.load();
  assert.equal(tonera.version, env.TONERA_EXPECTED_VERSION);
  const credited = tonera.open(readFileSync(join(songs, 'imported', 'vent-arkijuusto.tun')));
  assert.deepEqual([credited.title, credited.author, credited.released], ['arkijuusto (toinen siivu)', 'vent', '2013 triad']);
  assert.ok(credited.text.includes('arkijuusto (toinen siivu) by vent'));
  credited.setLoops(LOOP_FOREVER);
  assert.equal(credited.lengthFrames, Infinity);
  assert.equal(credited.loops, LOOP_FOREVER);
  credited.close();

  const path = join(songs, 'wide', 'panorama.tun');
  const song = tonera.open(readFileSync(path));
  assert.deepEqual([song.title, song.author, song.released], ['', '', '']);
  const spf = song.samplesPerFrame;
  assert.equal(spf, 48000 / song.frameRate);
  assert.equal(song.durationMs, Math.floor((song.frames * spf * 1000) / 48000));
  assert.equal(song.duration, (song.frames * spf) / 48000);

  const ints = song.render(3000);
  const shot = song.snapshot();
  assert.equal(shot.positionFrames, 3000);
  assert.equal(shot.channels, song.channels);
  assert.equal(shot.records.length, song.channels);
  assert.deepEqual(shot.scope, ints.subarray(ints.length - 2048));
  song.muteMask = (1 << song.channels) - 1;
  song.render(2 * spf);
  assert.deepEqual(song.snapshot().voiceVolume, new Array(song.channels).fill(0));

  song.seekFrame(100);
  assert.deepEqual([song.songFrame, song.positionFrames], [100, 100 * spf]);
  song.seek(2000);
  assert.equal(song.songFrame, (2000 * song.frameRate) / 1000);
  song.close();

  const a = tonera.open(readFileSync(path));
  const b = tonera.open(new Uint8Array(readFileSync(path)).buffer);
  const i16 = a.render(5000);
  const f32 = b.render(5000, 'float32');
  assert.ok(f32 instanceof Float32Array && i16 instanceof Int16Array);
  assert.ok(i16.some((x) => x !== 0), 'the opening is not silent');
  assert.deepEqual(Array.from(f32, (x) => Math.round(x * 32768)), Array.from(i16));
  a.close();
  b.close();
});
