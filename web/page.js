// The page: the screens of playtun's own code (playtun.wasm) drawn on a
// canvas twenty times a second, and the sound from libtonera (tonera.wasm)
// in an audio worklet, started by the first click or key.
import { toneraFromModule } from './tonera_module.js';
import createPlaytun from './playtun.js';
import { attachPointer } from './pointer.js';

const WIDTH = 640, HEIGHT = 400, COLUMNS = 80, ROWS = 50;
const canvas = document.getElementById('screen');
const context2d = canvas.getContext('2d');
const image = context2d.createImageData(WIDTH, HEIGHT);
const soundLine = document.getElementById('sound');

// libtonera is built twice, with WebAssembly SIMD and without; both give the
// same samples. The SIMD build is taken where the browser validates a
// module with one SIMD instruction (i32x4.splat of a constant), unless
// ?simd=0 asks for the other.
const SIMD_PROBE = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
  10, 8, 1, 6, 0, 65, 0, 253, 17, 11]);
const simd = new URLSearchParams(location.search).get('simd') !== '0' && WebAssembly.validate(SIMD_PROBE);
const toneraFile = simd ? 'tonera_simd.wasm' : 'tonera.wasm';
const wasmBytes = await (await fetch(toneraFile)).arrayBuffer();
const toneraModule = await WebAssembly.compile(wasmBytes);
const M = await createPlaytun();

function cString(text) {
  const bytes = new TextEncoder().encode(text);
  const at = M._malloc(bytes.length + 1);
  M.HEAPU8.set(bytes, at);
  M.HEAPU8[at + bytes.length] = 0;
  return at;
}

const palette = M.HEAPU8.slice(M._page_palette(), M._page_palette() + 768);
function present() {
  const frame = M.HEAPU8.subarray(M._page_frame(), M._page_frame() + WIDTH * HEIGHT);
  const rgba = image.data;
  for (let i = 0, j = 0; i < frame.length; ++i, j += 4) {
    const c = 3 * frame[i];
    rgba[j] = palette[c]; rgba[j + 1] = palette[c + 1]; rgba[j + 2] = palette[c + 2]; rgba[j + 3] = 255;
  }
  context2d.putImageData(image, 0, 0);
}
globalThis.playtunPresent = present;
globalThis.playtunToggleFullscreen = (on) => {
  if (on && !document.fullscreenElement) canvas.requestFullscreen?.().catch(() => {});
  if (!on && document.fullscreenElement) document.exitFullscreen?.().catch(() => {});
};

// The largest whole multiple of 640 x 400 that fits keeps the pixels crisp.
function fit() {
  const spare = document.fullscreenElement ? 0 : 80;
  const scale = Math.max(1, Math.floor(Math.min(window.innerWidth / WIDTH, (window.innerHeight - spare) / HEIGHT)));
  canvas.style.width = `${WIDTH * scale}px`;
  canvas.style.height = `${HEIGHT * scale}px`;
}
window.addEventListener('resize', fit);
document.addEventListener('fullscreenchange', fit);
fit();

// ---- sound ----

let audio = null;     // { context, node } once started
let songBytes = null; // the song the player screen plays
let snapshot = null;  // the worklet's latest { bytes, played, ack }
let sentSeq = 0;      // the last command that moved the position
let lastSync = '';
const snapshotAt = M._malloc(4192);
const TRACE_FRAMES = 2048;  // as worklet.js
const traceAt = M._malloc(2 * TRACE_FRAMES);
// performance.now() of the first click or key, and of the first message
// from the worklet that it rendered a sample other than silence.
let gestureAt = null, soundingAt = null;

function loopsFor() { return M._page_mode_now() === 1 ? -1 : 1; }

// Made once; every later gesture resumes it if the browser held it back
// (a touch's press does not count as a gesture everywhere, its release does).
let starting = null, soundContext = null;
function startSound() {
  if (soundContext && soundContext.state === 'suspended') soundContext.resume().catch(() => {});
  starting ??= makeSound().catch((e) => { starting = null; throw e; });
  return starting;
}
async function makeSound() {
  const context = new AudioContext({ sampleRate: 48000 });
  soundContext = context;
  await context.audioWorklet.addModule('worklet.js');
  const node = new AudioWorkletNode(context, 'playtun', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { wasm: wasmBytes },
  });
  node.port.onmessage = (event) => {
    const m = event.data;
    if (m.type === 'snapshot' && m.ack >= sentSeq) snapshot = m;
    if (m.type === 'sounding' && soundingAt === null) soundingAt = performance.now();
    if (m.type === 'ended' && m.ack >= sentSeq) M._page_song_ended();
  };
  node.connect(context.destination);
  await context.resume();
  audio = { context, node };
  soundLine.textContent = `Sound on (${context.sampleRate} Hz, audio worklet${simd ? ', WebAssembly SIMD' : ''}).`;
  if (songBytes) node.port.postMessage({ type: 'load', song: songBytes, loops: -1, seq: ++sentSeq });
  return audio;
}
const firstGesture = (event) => {
  if (gestureAt === null) gestureAt = event?.timeStamp ?? performance.now();
  startSound().catch((e) => { soundLine.textContent = `No sound: ${e.message}`; }); };
attachPointer(canvas, (kind, column, row, amount) => M._page_pointer(kind, column, row, amount), firstGesture);

function songStarted() {
  const path = M.UTF8ToString(M._page_song_path());
  songBytes = M.FS.readFile(path);
  snapshot = null;
  lastSync = '';
  if (audio) audio.node.port.postMessage({ type: 'load', song: songBytes, loops: -1, seq: ++sentSeq });
}

// What the player screen's keys changed, for the worklet.
function syncWorklet() {
  const at = M._page_requests();
  const view = new DataView(M.HEAPU8.buffer, at, 68);
  const m = {
    type: 'sync',
    seek: view.getInt32(0, true),
    paused: view.getInt32(4, true) !== 0,
    mute: view.getUint32(8, true),
    fold: view.getInt32(12, true),
    definitions: [M.HEAPU8.slice(at + 20, at + 36), M.HEAPU8.slice(at + 36, at + 52)],
    bases: [[view.getInt32(52, true), view.getInt32(56, true)], [view.getInt32(60, true), view.getInt32(64, true)]],
  };
  const key = JSON.stringify({ ...m, seek: 0, definitions: m.definitions.map((d) => Array.from(d)) });
  if (m.seek < 0 && key === lastSync) return;
  lastSync = key;
  if (m.seek >= 0) m.seq = ++sentSeq;
  if (audio) audio.node.port.postMessage(m);
}

function pass() {
  if (snapshot && M._page_mode_now() === 1) {
    M.HEAPU8.set(snapshot.bytes, snapshotAt);
    M.HEAPU8.set(new Uint8Array(snapshot.trace.buffer), traceAt);
    M._page_snapshot(snapshotAt, snapshot.played, traceAt, TRACE_FRAMES);
  }
  const wasPlayer = M._page_mode_now() === 1;
  if (M._page_pass() === 1) {
    songStarted();
  } else if (wasPlayer && M._page_mode_now() === 0) {
    songBytes = null;
    if (audio) audio.node.port.postMessage({ type: 'stop', seq: ++sentSeq });
  }
  if (M._page_mode_now() === 1) syncWorklet();
}

// ---- keys ----

const keyCodes = new Set([8, 9, 13, 19, 27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 112, 113, 114, 115, 116, 117, 118, 119]);
document.addEventListener('keydown', (event) => {
  firstGesture(event);
  if (event.ctrlKey || event.metaKey) return;
  const code = event.keyCode;
  if (code === 71 && !event.altKey) { event.preventDefault(); downloadWav(); return; }  // g
  if (!keyCodes.has(code) && !(code >= 48 && code <= 57) && !(code >= 65 && code <= 90)) return;
  event.preventDefault();
  M._page_key(code, event.shiftKey ? 1 : 0, event.altKey ? 1 : 0);
});

// ---- songs in ----

// A song from outside the list, shown by `name`. Without bytes (a URL that
// gave no file) the loader looks for a file that is not there, and says so.
function openSong(name, bytes) {
  try { M.FS.mkdir('/upload'); } catch (e) { /* there already */ }
  const path = bytes ? `/upload/${name.replace(/[/\\]/g, '_')}` : '/nowhere/song.tun';
  if (bytes) M.FS.writeFile(path, bytes);
  const at = cString(path), nameAt = cString(name);
  if (M._page_mode_now() === 1) { M._page_key(27, 0, 0); pass(); }
  const opened = M._page_open(at, nameAt) === 1;
  M._free(at);
  M._free(nameAt);
  if (opened) songStarted();
  pass();
  return opened;
}
document.getElementById('file').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  if (file) openSong(file.name, new Uint8Array(await file.arrayBuffer()));
  firstGesture(event);
  canvas.focus();
});
const drop = document.getElementById('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', async (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  const file = event.dataTransfer.files[0];
  if (file) openSong(file.name, new Uint8Array(await file.arrayBuffer()));
});

// ---- WAV, as record mode writes it ----

function renderS16(bytes, frames) {
  const opened = toneraFromModule(toneraModule).open(bytes);
  if (opened.error) throw new Error(opened.error);
  const song = opened.song;
  const chunks = [];
  let total = 0;
  for (;;) {
    const want = frames === undefined ? 48000 : Math.min(48000, frames - total);
    if (want <= 0) break;
    const got = song.renderS16(want);
    if (got.length === 0) break;
    chunks.push(got.slice());
    total += got.length / 2;
  }
  song.close();
  const out = new Int16Array(2 * total);
  let at = 0;
  for (const c of chunks) { out.set(c, at); at += c.length; }
  return out;
}

function wavBytes(bytes) {
  const samples = renderS16(bytes);
  const headerAt = M._malloc(128);
  const headerLength = M._page_wav_header(samples.length / 2, headerAt);
  const wav = new Uint8Array(headerLength + samples.byteLength);
  wav.set(M.HEAPU8.subarray(headerAt, headerAt + headerLength), 0);
  wav.set(new Uint8Array(samples.buffer), headerLength);
  M._free(headerAt);
  return wav;
}

function downloadWav() {
  if (!songBytes) { soundLine.textContent = 'Choose a song first: the WAV is the song playing.'; return; }
  const name = M.UTF8ToString(M._page_song_name()).split('/').pop().replace(/\.tun$/i, '');
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([wavBytes(songBytes)], { type: 'audio/wav' }));
  link.download = `${name}.wav`;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}
document.getElementById('wav').addEventListener('click', downloadWav);

// ---- for scripts and tests ----

// The worklet's own output, rendered offline at 48000 Hz: `frames` stereo
// frames of the song as 16-bit samples.
async function renderInWorklet(bytes, frames) {
  const offline = new OfflineAudioContext(2, frames, 48000);
  await offline.audioWorklet.addModule('worklet.js');
  const node = new AudioWorkletNode(offline, 'playtun', {
    numberOfInputs: 0, outputChannelCount: [2],
    processorOptions: { wasm: wasmBytes, song: bytes, loops: 1 },
  });
  node.connect(offline.destination);
  const buffer = await offline.startRendering();
  const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
  const out = new Int16Array(2 * frames);
  for (let i = 0; i < frames; ++i) {
    out[2 * i] = Math.round(left[i] * 32768);
    out[2 * i + 1] = Math.round(right[i] * 32768);
  }
  return out;
}

function screenText() {
  const cells = new Uint16Array(M.HEAPU8.buffer, M._page_cells(), COLUMNS * ROWS);
  const rows = [];
  for (let r = 0; r < ROWS; ++r) {
    let line = '';
    for (let c = 0; c < COLUMNS; ++c) {
      const ch = cells[r * COLUMNS + c] & 0xff;
      line += ch >= 32 && ch < 127 ? String.fromCharCode(ch) : ' ';
    }
    rows.push(line);
  }
  return rows;
}

window.playtun = {
  render: renderInWorklet,
  wav: (bytes) => wavBytes(bytes),
  screenText,
  // The frame's palette indices as RGB, row by row.
  pixels: () => context2d.getImageData(0, 0, WIDTH, HEIGHT).data,
  // Which build of libtonera makes the sound: 'tonera_simd.wasm' or 'tonera.wasm'.
  tonera: toneraFile,
  mode: () => (M._page_mode_now() === 1 ? 'player' : 'selector'),
  audioState: () => (audio ? audio.context.state : 'not started'),
  openSong,
  startSound,
  // Milliseconds from the first click or key to the worklet's first sound
  // (its message that it rendered a sample other than silence), or null.
  firstSound: () => (gestureAt !== null && soundingAt !== null ? soundingAt - gestureAt : null),
};

// ---- start ----

M._page_init(cString('/songs'));
const wanted = new URLSearchParams(location.search).get('song');
if (wanted) {
  const response = await fetch(wanted).catch(() => null);
  openSong(wanted, response?.ok ? new Uint8Array(await response.arrayBuffer()) : null);
}
pass();
setInterval(pass, 50);
window.playtun.ready = true;
