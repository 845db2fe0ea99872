// libtonera for JavaScript: .tun chip-music songs rendered by the Tonera
// synth engine compiled to WebAssembly (tonera.wasm, and tonera_simd.wasm
// for engines that validate WebAssembly SIMD; both give the same samples).
// Runs in Node 18+ and in browsers; the module files are read from beside
// this file, never from the network.
//
//   const tonera = await Tonera.load();
//   const song = tonera.open(bytes);      // throws ToneraError
//   const samples = song.render(48000);   // Int16Array, left, right, ...
//   song.close();
//
// createToneraNode() gives an AudioWorkletNode that plays a song on a page.

export const SAMPLE_RATE = 48000;
export const MAX_VOICES = 8;
export const SCOPE_FRAMES = 1024;
export const LOOP_FOREVER = -1;
export const VARIANT_PLAIN = 0;
export const VARIANT_CHIP = 1;
export const E_INVALID = -1;

// sizeof(tonera_snapshot) and its fields' offsets in the 32-bit module.
const SNAPSHOT_BYTES = 4192;
const SNAPSHOT = { songFrame: 0, position: 8, channels: 16, records: 20, volume: 68, pulse: 76, filter: 84,
  scopeFrames: 92, scope: 96 };
const UINT64_MAX = (1n << 64n) - 1n;

// A module with one SIMD instruction (i32x4.splat of a constant): engines
// that validate it run the SIMD build.
const SIMD_PROBE = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
  10, 8, 1, 6, 0, 65, 0, 253, 17, 11]);

export function simdSupported() {
  return WebAssembly.validate(SIMD_PROBE);
}

// A failure libtonera reported: `code` is its negative TONERA_E_ code, the
// message its text.
export class ToneraError extends Error {
  constructor(code, message) {
    super(message);
    this.name = 'ToneraError';
    this.code = code;
  }
}

// A file of this package: read from the disk in Node, fetched from beside
// the module in a browser.
async function packageFile(name) {
  const url = new URL(name, import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`tonera: ${url} could not be loaded (${response.status})`);
  return new Uint8Array(await response.arrayBuffer());
}

// The WebAssembly module to use: { bytes, simd }. options.simd chooses the
// build (default: SIMD where the engine has it); options.wasm gives the
// module's bytes instead of the package's file.
export async function toneraWasm(options = {}) {
  const simd = options.simd ?? simdSupported();
  const bytes = options.wasm ?? await packageFile(simd ? 'tonera_simd.wasm' : 'tonera.wasm');
  return { bytes, simd };
}

// The library's strings are UTF-8. An audio worklet's scope has no
// TextDecoder; there the bytes go through decodeURIComponent.
function utf8(bytes) {
  if (typeof TextDecoder !== 'undefined') return new TextDecoder().decode(bytes);
  return decodeURIComponent(Array.from(bytes, (b) => `%${b.toString(16).padStart(2, '0')}`).join(''));
}

function asBytes(data) {
  if (data instanceof Uint8Array) return data;
  if (data instanceof ArrayBuffer) return new Uint8Array(data);
  if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  throw new TypeError('tonera: a song is given as its bytes (Uint8Array, ArrayBuffer or a typed array)');
}

function wholeNumber(value, what, limit = Number.MAX_SAFE_INTEGER) {
  if (!Number.isSafeInteger(value) || value < 0 || value > limit) {
    throw new RangeError(`tonera: ${what} must be a whole number from 0 to ${limit}, not ${value}`);
  }
  return value;
}

// One instance of libtonera's module, with its own memory; songs opened
// from it share that memory.
export class Tonera {
  // Loads and instantiates the module (see toneraWasm for the options).
  static async load(options = {}) {
    const { bytes, simd } = await toneraWasm(options);
    return new Tonera(await WebAssembly.compile(bytes), simd);
  }

  // From a compiled WebAssembly.Module, at once (as an audio worklet needs).
  constructor(module, simd = false) {
    const imports = {
      wasi_snapshot_preview1: { proc_exit(code) { throw new Error(`tonera: the library ended with ${code}`); } },
      env: { emscripten_notify_memory_growth() {} },
    };
    this.x = new WebAssembly.Instance(module, imports).exports;
    this.x._initialize();
    this.simd = simd;
  }

  bytes() { return new Uint8Array(this.x.memory.buffer); }

  text(pointer) {
    const heap = this.bytes();
    let end = pointer;
    while (heap[end] !== 0) ++end;
    return utf8(heap.subarray(pointer, end));
  }

  alloc(size) {
    const at = this.x.malloc(size);
    if (at === 0) throw new ToneraError(-7, this.strerror(-7));
    return at;
  }

  strerror(code) { return this.text(this.x.tonera_strerror(code)); }

  // The library's version, "MAJOR.MINOR.PATCH".
  get version() { return this.text(this.x.tonera_version()); }

  // Opens a song from the bytes of a .tun file (copied); throws ToneraError
  // with the library's text when they are not a song it can play.
  open(data) {
    const bytes = asBytes(data);
    const x = this.x;
    const at = this.alloc(bytes.length + 4);
    this.bytes().set(bytes, at);
    const slot = at + bytes.length;
    const code = x.tonera_open(at, bytes.length, slot);
    const handle = new DataView(x.memory.buffer).getUint32(slot, true);
    x.free(at);
    if (code !== 0) throw new ToneraError(code, this.strerror(code));
    return new Song(this, handle);
  }
}

// An open song. It stands at its start, plays once through, and has no
// voice muted.
export class Song {
  constructor(tonera, handle) {
    this.t = tonera;
    this.x = tonera.x;
    this.h = handle;
    this.capacity = 0;
    this.buffer = 0;
    this.loopsSet = 1;
  }

  handle() {
    if (this.h === 0) throw new Error('tonera: the song is closed');
    return this.h;
  }

  check(code) {
    if (code !== 0) throw new ToneraError(code, this.t.strerror(code));
  }

  // Frees the song; any later use throws. Closing twice is fine.
  close() {
    if (this.h === 0) return;
    this.x.tonera_close(this.h);
    this.x.free(this.buffer);
    this.h = 0;
  }

  get closed() { return this.h === 0; }

  // ---- facts

  get title() { return this.t.text(this.x.tonera_title(this.handle())); }
  get author() { return this.t.text(this.x.tonera_author(this.handle())); }
  get released() { return this.t.text(this.x.tonera_released(this.handle())); }
  get text() {
    const h = this.handle();
    const size = this.x.tonera_text_utf8(h, 0, 0) + 1;
    const at = this.t.alloc(size);
    this.x.tonera_text_utf8(h, at, size);
    const text = this.t.text(at);
    this.x.free(at);
    return text;
  }
  get variant() { return this.x.tonera_variant(this.handle()); }
  get channels() { return this.x.tonera_channels(this.handle()); }
  get frameRate() { return this.x.tonera_frame_rate(this.handle()); }
  get frames() { return this.x.tonera_frames(this.handle()) >>> 0; }
  // The loop section's first frame, or null when the song has none.
  get loop() {
    const frame = this.x.tonera_loop_frame(this.handle()) >>> 0;
    return frame < this.frames ? frame : null;
  }
  get samplesPerFrame() { return this.x.tonera_samples_per_frame(this.handle()) >>> 0; }
  get durationMs() { return Number(this.x.tonera_duration_ms(this.handle())); }
  // Seconds once through.
  get duration() { return (this.frames * this.samplesPerFrame) / SAMPLE_RATE; }

  // ---- length, loops and fade

  // How often the loop section plays, the first pass included (1 plays the
  // song once; LOOP_FOREVER without end).
  setLoops(passes) {
    if (passes !== LOOP_FOREVER) wholeNumber(passes, 'passes', 0x7fffffff);
    this.check(this.x.tonera_set_loops(this.handle(), passes));
    this.loopsSet = passes === 0 ? 1 : passes;
  }
  get loops() { return this.loopsSet; }
  // Ends the rendering after at most ms milliseconds (0: no limit).
  setLength(ms) { this.check(this.x.tonera_set_length_ms(this.handle(), BigInt(wholeNumber(ms, 'ms')))); }
  // Fades the last ms milliseconds to silence (0: no fade).
  setFade(ms) { this.check(this.x.tonera_set_fade_ms(this.handle(), wholeNumber(ms, 'ms', 0xffffffff))); }
  // Stereo frames the rendering lasts as set; Infinity without end.
  get lengthFrames() {
    const frames = BigInt.asUintN(64, this.x.tonera_length_frames(this.handle()));
    return frames === UINT64_MAX ? Infinity : Number(frames);
  }

  // ---- position

  get positionFrames() { return Number(BigInt.asUintN(64, this.x.tonera_position_frames(this.handle()))); }
  get songFrame() { return this.x.tonera_song_frame(this.handle()) >>> 0; }
  // To the song frame at or before ms milliseconds into the rendering.
  seek(ms) { this.check(this.x.tonera_seek_ms(this.handle(), BigInt(wholeNumber(ms, 'ms')))); }
  // To the start of song frame `frame` of the first pass.
  seekFrame(frame) { this.check(this.x.tonera_seek_frame(this.handle(), wholeNumber(frame, 'frame', 0xffffffff))); }

  // ---- voices: bit 0 is voice 1, bit 7 voice 8

  get muteMask() { return this.x.tonera_mute_mask(this.handle()) >>> 0; }
  set muteMask(mask) { this.check(this.x.tonera_set_mute_mask(this.handle(), wholeNumber(mask, 'mask', 0xffffffff))); }

  // ---- rendering

  // Up to `frames` stereo frames, interleaved left, right, at 48000 Hz: an
  // Int16Array, or with 'float32' a Float32Array (each sample the 16-bit
  // one divided by 32768). Fewer only at the end, then none.
  render(frames, format = 'int16') {
    return this.renderView(frames, format).slice();
  }

  // As render, as a view into the module's memory, valid until the next
  // call for any song of this Tonera (no copy; for audio callbacks).
  renderView(frames, format = 'int16') {
    wholeNumber(frames, 'frames', 0x7ffffff);
    const float = format === 'float32';
    if (!float && format !== 'int16') throw new RangeError(`tonera: no sample format ${format}`);
    const bytes = (float ? 8 : 4) * frames;
    const h = this.handle();
    if (bytes > this.capacity) {
      this.x.free(this.buffer);
      this.buffer = 0;
      this.capacity = 0;
      this.buffer = this.t.alloc(bytes);
      this.capacity = bytes;
    }
    if (float) {
      const got = this.x.tonera_render_f32(h, this.buffer, frames);
      return new Float32Array(this.x.memory.buffer, this.buffer, 2 * got);
    }
    const got = this.x.tonera_render_s16(h, this.buffer, frames);
    return new Int16Array(this.x.memory.buffer, this.buffer, 2 * got);
  }

  // What a visualiser shows after the latest render call.
  snapshot() {
    const at = this.t.alloc(SNAPSHOT_BYTES);
    this.check(this.x.tonera_get_snapshot(this.handle(), at));
    const view = new DataView(this.x.memory.buffer, at, SNAPSHOT_BYTES);
    const channels = view.getInt32(SNAPSHOT.channels, true);
    const records = [];
    for (let i = 0; i < channels; ++i) {
      const r = SNAPSHOT.records + 6 * i;
      records.push({ pitch: view.getUint16(r, true), pulse: view.getUint8(r + 2), control: view.getUint8(r + 3),
        volume: view.getUint8(r + 4), filter: view.getUint8(r + 5) });
    }
    const bytes = (offset) => Array.from(new Uint8Array(this.x.memory.buffer, at + offset, channels));
    const scopeFrames = view.getUint32(SNAPSHOT.scopeFrames, true);
    const shot = {
      songFrame: view.getUint32(SNAPSHOT.songFrame, true),
      positionFrames: Number(view.getBigUint64(SNAPSHOT.position, true)),
      channels,
      records,
      voiceVolume: bytes(SNAPSHOT.volume),
      voicePulse: bytes(SNAPSHOT.pulse),
      voiceFilter: bytes(SNAPSHOT.filter),
      scope: new Int16Array(this.x.memory.buffer, at + SNAPSHOT.scope, 2 * scopeFrames).slice(),
    };
    this.x.free(at);
    return shot;
  }
}

// An AudioWorkletNode (of an AudioContext or OfflineAudioContext running at
// 48000 Hz) that plays a song into its stereo output. options: loops (default 1), paused (start
// paused), simd, wasm (as Tonera.load), snapshotEvery (render quanta of 128
// frames between snapshots, default 8). Resolves once the song is open;
// rejects with a ToneraError when it is not a song.
export async function createToneraNode(context, song, options = {}) {
  if (context.sampleRate !== SAMPLE_RATE) {
    throw new RangeError(`tonera: the audio context runs at ${context.sampleRate} Hz; songs play at ${SAMPLE_RATE}`);
  }
  const { bytes } = await toneraWasm(options);
  await context.audioWorklet.addModule(new URL('./worklet.js', import.meta.url));
  const node = new AudioWorkletNode(context, 'tonera', {
    numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
    processorOptions: { wasm: bytes, song: asBytes(song).slice(), loops: options.loops ?? 1,
      paused: options.paused ?? false, snapshotEvery: options.snapshotEvery ?? 8 },
  });
  return new Promise((resolve, reject) => {
    node.onprocessorerror = () => reject(new Error('tonera: the audio worklet failed'));
    node.port.onmessage = (event) => {
      const m = event.data;
      if (m.type === 'error') reject(new ToneraError(m.code, m.message));
      if (m.type !== 'ready') return;
      Object.assign(node, nodeMethods, { facts: m.facts, snapshot: null, ended: false,
        onsnapshot: null, onended: null });
      node.port.onmessage = (e) => nodeMessage(node, e.data);
      resolve(node);
    };
  });
}

const nodeMethods = {
  play() { this.port.postMessage({ type: 'play' }); },
  pause() { this.port.postMessage({ type: 'pause' }); },
  seek(ms) { this.port.postMessage({ type: 'seek', ms: wholeNumber(ms, 'ms') }); },
  seekFrame(frame) { this.port.postMessage({ type: 'seek', frame: wholeNumber(frame, 'frame', 0xffffffff) }); },
  mute(mask) { this.port.postMessage({ type: 'mute', mask: wholeNumber(mask, 'mask', 0xff) }); },
};

function nodeMessage(node, m) {
  if (m.type === 'snapshot') {
    node.snapshot = m.snapshot;
    if (node.onsnapshot) node.onsnapshot(m.snapshot);
  }
  if (m.type === 'ended') {
    node.ended = true;
    if (node.onended) node.onended();
  }
}
