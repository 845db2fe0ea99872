// The page: the screens of playtun's own code (playtun.wasm) drawn on a
// canvas twenty times a second, and the sound from libtonera (tonera.wasm)
// in an audio worklet, started by the first tap, click or key. Buttons
// under the screen and the browser's media controls drive the player too.
import createPlaytun from './playtun.js';
import { PlayList } from './play_list.js';
import { setupControls } from './controls.js';
import { setupMediaSession } from './media_session.js';
import { fetchSong, MAX_SONG_BYTES, TOO_LARGE } from './song_fetch.js';
import { createSongStore } from './song_store.js';
import { makeWav, WavRefused } from './wav_file.js';
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
const store = createSongStore(M.FS);
let currentUpload = null;  // the store's path of the song playing, if it came from outside

function cString(text) {
  const bytes = new TextEncoder().encode(text);
  const at = M._malloc(bytes.length + 1);
  M.HEAPU8.set(bytes, at);
  M.HEAPU8[at + bytes.length] = 0;
  return at;
}

// The palette as whole RGBA pixels (their bytes in memory order, as the
// canvas takes them): one store a pixel instead of four.
const palette = M.HEAPU8.slice(M._page_palette(), M._page_palette() + 768);
const pixelOf = new Uint32Array(256);
const pixelBytes = new Uint8Array(pixelOf.buffer);
for (let c = 0; c < 256; ++c) pixelBytes.set([palette[3 * c], palette[3 * c + 1], palette[3 * c + 2], 255], 4 * c);
const pixels = new Uint32Array(image.data.buffer);
function present() {
  const frame = M.HEAPU8.subarray(M._page_frame(), M._page_frame() + WIDTH * HEIGHT);
  for (let i = 0; i < frame.length; ++i) pixels[i] = pixelOf[frame[i]];
  context2d.putImageData(image, 0, 0);
}
globalThis.playtunPresent = present;
globalThis.playtunToggleFullscreen = (on) => {
  if (on && !document.fullscreenElement) canvas.requestFullscreen?.().catch(() => {});
  if (!on && document.fullscreenElement) document.exitFullscreen?.().catch(() => {});
};

// The screen takes the largest whole multiple of 640 x 400 that fits the
// page's width (and its height, less room for the buttons), which keeps
// every pixel square and crisp. A page narrower than 640 pixels gets the
// screen scaled down to its width: smoothly where that leaves fewer device
// pixels than the screen has, as nearest-pixel scaling would drop whole
// rows and columns of the 8 x 8 characters.
function fit() {
  const full = document.fullscreenElement !== null;
  const width = full ? window.innerWidth : document.documentElement.clientWidth - 16;  // less main's padding
  const height = full ? window.innerHeight : window.innerHeight - 150;
  const whole = Math.floor(Math.min(width / WIDTH, height / HEIGHT));
  const scale = whole >= 1 ? whole : Math.min(1, width / WIDTH);
  canvas.style.width = `${Math.floor(WIDTH * scale)}px`;
  canvas.style.height = `${Math.floor(HEIGHT * scale)}px`;
  canvas.classList.toggle('smooth', scale * window.devicePixelRatio < 1);
}
window.addEventListener('resize', fit);
document.addEventListener('fullscreenchange', fit);
fit();

// ---- sound ----

let audio = null;     // { context, node } once started
let starting = null;  // the promise of startSound()
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

function showSoundState() {
  if (!audio) return;
  const state = audio.context.state;
  soundLine.textContent = state === 'running'
    ? `Sound on (${audio.context.sampleRate} Hz, audio worklet${simd ? ', WebAssembly SIMD' : ''}).`
    : 'Sound stopped by the browser: tap or click to start it again.';
}

// The context is made and resumed at once, inside the gesture that starts
// it: some browsers (on phones above all) allow sound only from there.
function startSound() {
  if (!starting) starting = makeSound();
  return starting;
}
async function makeSound() {
  const context = new AudioContext({ sampleRate: 48000 });
  const resumed = context.resume();
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
  await resumed;
  audio = { context, node };
  context.addEventListener('statechange', showSoundState);
  showSoundState();
  if (songBytes) node.port.postMessage({ type: 'load', song: songBytes, loops: songLoops, seq: ++sentSeq });
  return audio;
}
// Every gesture on the page may start the sound, or resume it where the
// browser suspended it (a phone's call, another tab's sound).
const firstGesture = (event) => {
  if (gestureAt === null) gestureAt = event?.timeStamp ?? performance.now();
  if (audio && audio.context.state !== 'running') audio.context.resume().catch(() => {});
  startSound().catch((e) => { soundLine.textContent = `No sound: ${e.message}`; });
};
for (const type of ['pointerdown', 'touchend', 'click']) document.addEventListener(type, firstGesture, true);
attachPointer(canvas, (kind, column, row, amount) => M._page_pointer(kind, column, row, amount), firstGesture);

// Where the song playing came from: 'list' (the selector), 'file' (the
// play list of files chosen or dropped) or 'url' (?song=URL, in songUrl).
let songFrom = null, songUrl = null;
// A song of the play list plays once through, as the program's play list
// plays it, and the list goes on; any other song repeats until it is left.
let songLoops = -1;

function releaseUpload() {
  if (currentUpload) store.release(currentUpload);
  currentUpload = null;
}

function songStarted(from = 'list') {
  const path = M.UTF8ToString(M._page_song_path());
  if (currentUpload !== path) releaseUpload();
  currentUpload = path.startsWith('/upload/') ? path : null;
  songBytes = M.FS.readFile(path);
  snapshot = null;
  lastSync = '';
  if (from !== 'file') playList.end();
  songFrom = from;
  if (from !== 'url') songUrl = null;
  if (from === 'file' && playList.active) {
    M._page_set_neighbours(playList.hasNext ? 1 : 0, playList.hasPrevious ? 1 : 0);
    document.title = `playtun - ${playList.current.name} (${playList.at + 1} of ${playList.entries.length})`;
  }
  songLoops = from === 'file' && playList.active ? 1 : -1;
  if (audio) audio.node.port.postMessage({ type: 'load', song: songBytes, loops: songLoops, seq: ++sentSeq });
  media.song({ ...credits(), name: M.UTF8ToString(M._page_song_name()).split('/').pop() });
}

// A song of the play list left the player screen: Page Down, Page Up or
// the song's end go on along the list; Escape, or the list's last song
// ending, end it.
function songLeft() {
  songFrom = null;
  if (!playList.active || openingSong) return;
  const leave = playerState(true).leave;
  const direction = { 0: +1, 2: +1, 3: -1 }[leave] ?? 0;
  if (direction === 0 || !(direction > 0 ? playList.hasNext : playList.hasPrevious)) {
    playList.end();
    return;
  }
  playList.step(direction).then((got) => { if (got) openSong(got.entry.name, got.bytes, 'file'); }, () => {
    soundLine.textContent = `${playList.current?.name} could not be read.`;
    playList.end();
  });
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
    releaseUpload();
    if (audio) audio.node.port.postMessage({ type: 'stop', seq: ++sentSeq });
    songLeft();
  }
  if (M._page_mode_now() === 1) syncWorklet();
  const state = playerState();
  controls.update(state);
  media.update(state);
}

// ---- the player's state, for the buttons and the media controls ----

// null in the selector, unless `always`.
function playerState(always = false) {
  if (!always && M._page_mode_now() !== 1) return null;
  const view = new DataView(M.HEAPU8.buffer, M._page_state(), 36);
  const int = (i) => view.getInt32(4 * i, true);
  return { frame: int(0), frameTotal: int(1), frameRate: int(2), paused: int(3) !== 0, voices: int(4),
    muteMask: view.getUint32(20, true), hasNext: int(6) !== 0, hasPrevious: int(7) !== 0, leave: int(8) };
}

function credits() {
  const [title, author, release] = [0, 1, 2].map((i) => M.UTF8ToString(M._page_credit(i)));
  return { title, author, release };
}

// A key press for the player, with its pass at once so the screen answers.
function press(code) {
  if (M._page_mode_now() !== 1) return;
  M._page_key(code, 0, 0);
  pass();
}

const app = {
  previous: () => press(33),  // Page Up
  next: () => press(34),      // Page Down
  togglePause: () => press(75),  // k
  setPaused: (paused) => { if (playerState()?.paused === !paused) press(75); },
  toggleMute: (voice) => press(112 + voice),  // F1 .. F8
  positionSeconds: () => { const s = playerState(); return s ? s.frame / s.frameRate : 0; },
  seekSeconds: (seconds) => {
    const s = playerState();
    if (!s || !Number.isFinite(seconds)) return;
    M._page_seek(Math.round(seconds * s.frameRate));
    snapshot = null;  // older than the seek
    pass();
  },
  downloadWav: () => downloadWav(),
  songUrl: () => (songFrom === 'url' ? songUrl : null),
  share: async () => {
    const url = app.songUrl();
    if (!url) return;
    const link = new URL(location.href);
    link.search = '';
    link.searchParams.set('song', url);
    try {
      await navigator.clipboard.writeText(link.href);
      soundLine.textContent = `Link copied: ${link.href}`;
    } catch {
      soundLine.textContent = `The link to this song: ${link.href}`;
    }
  },
};
const controls = setupControls(app);
const media = setupMediaSession(app);

// ---- keys ----

const keyCodes = new Set([8, 9, 13, 19, 27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 112, 113, 114, 115, 116, 117, 118, 119]);
// Keys that a focused button or the seek bar takes for itself.
const controlKeys = new Set([9, 13, 32, 35, 36, 37, 38, 39, 40]);
document.addEventListener('keydown', (event) => {
  firstGesture(event);
  if (event.ctrlKey || event.metaKey) return;
  const code = event.keyCode;
  if (event.target instanceof HTMLButtonElement || event.target instanceof HTMLInputElement) {
    if (controlKeys.has(code)) return;
  }
  if (code === 71 && !event.altKey) { event.preventDefault(); downloadWav(); return; }  // g
  if (!keyCodes.has(code) && !(code >= 48 && code <= 57) && !(code >= 65 && code <= 90)) return;
  event.preventDefault();
  M._page_key(code, event.shiftKey ? 1 : 0, event.altKey ? 1 : 0);
});

// ---- songs in ----

// A line on the selector instead of a song (the player screen gives way).
function notice(line) {
  const at = cString(line);
  M._page_notice(at);
  M._free(at);
  pass();
}

// A song from outside the list, shown by `name`, its bytes kept in the page's
// file system under `fileName` (or name) while it plays. `from` says where it
// came from, as songStarted() takes it. No bytes: a chosen file over the size
// limit, refused unread. A song the loader refuses is not kept; whatever goes
// wrong is shown, and the keys go on.
let openingSong = false;
function openSong(name, bytes, from = 'file', fileName = name) {
  let path = null;
  try {
    if (!bytes || bytes.length > MAX_SONG_BYTES) {
      if (from === 'file') playList.end();
      notice(TOO_LARGE);
      return false;
    }
    openingSong = true;
    if (M._page_mode_now() === 1) { M._page_key(27, 0, 0); pass(); }
    openingSong = false;
    path = store.add(fileName, bytes);
    if (from === 'file' && playList.current) playList.current.path = path;
    const at = cString(path), nameAt = cString(name);
    const opened = M._page_open(at, nameAt) === 1;
    M._free(at);
    M._free(nameAt);
    if (opened) songStarted(from);
    else {
      store.release(path);
      if (from === 'file') playList.end();
    }
    pass();
    return opened;
  } catch (e) {
    openingSong = false;
    if (path && path !== currentUpload) store.release(path);
    soundLine.textContent = `The song did not open: ${e?.message ?? e}`;
    try { notice('The song did not open.'); } catch { /* the line above says it */ }
    return false;
  }
}

// Song files chosen or dropped together: the play list, from the first.
const playList = new PlayList({ maxBytes: MAX_SONG_BYTES });
async function openFiles(files) {
  if (files.length === 0) return;
  playList.replace(files);
  try {
    const got = await playList.go(0);
    openSong(got.entry.name, got.bytes, 'file');
  } catch {
    soundLine.textContent = `${files[0].name} could not be read.`;  // a folder dropped, a file gone
    playList.end();
  }
}
document.getElementById('file').addEventListener('change', async (event) => {
  firstGesture(event);
  await openFiles(Array.from(event.target.files));
  event.target.value = '';  // the same files chosen again are a change too
  canvas.focus();
});
const drop = document.getElementById('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', async (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  await openFiles(Array.from(event.dataTransfer.files));
});

// ---- WAV, as record mode writes it ----

function wavHeader(frames) {
  const at = M._malloc(128);
  const length = M._page_wav_header(frames, at);
  const header = M.HEAPU8.slice(at, at + length);
  M._free(at);
  return header;
}

const wavBlob = (bytes, progress) => makeWav(toneraModule, bytes, wavHeader, progress);

let makingWav = false;
async function downloadWav() {
  if (!songBytes) { soundLine.textContent = 'Choose a song first: the WAV is the song playing.'; return; }
  if (makingWav) return;
  makingWav = true;
  const name = M.UTF8ToString(M._page_song_name()).split('/').pop().replace(/\.tun$/i, '');
  const said = soundLine.textContent;
  soundLine.textContent = 'Making the WAV...';
  try {
    const blob = await wavBlob(songBytes, (done, all) => {
      soundLine.textContent = `Making the WAV: ${all ? Math.floor((100 * done) / all) : 0}%`;
    });
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = `${name}.wav`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    soundLine.textContent = said;
  } catch (e) {
    soundLine.textContent = e instanceof WavRefused ? e.message : `No WAV: ${e?.message ?? e}`;
  } finally {
    makingWav = false;
  }
}
document.getElementById('wav').addEventListener('click', downloadWav);

// ---- for scripts and tests ----

// The worklet's own output, rendered offline at 48000 Hz: `frames` stereo
// frames of the song as 16-bit samples, with the voices of `mute` (bit 0
// for voice 1) silent.
async function renderInWorklet(bytes, frames, mute = 0) {
  const offline = new OfflineAudioContext(2, frames, 48000);
  await offline.audioWorklet.addModule('worklet.js');
  const node = new AudioWorkletNode(offline, 'playtun', {
    numberOfInputs: 0, outputChannelCount: [2],
    processorOptions: { wasm: wasmBytes, song: bytes, loops: 1, mute },
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
  // The WAV download's bytes for a song's file (a promise).
  wav: async (bytes) => new Uint8Array(await (await wavBlob(bytes)).arrayBuffer()),
  // The paths of the songs from outside kept in the page's file system.
  uploads: () => store.paths(),
  screenText,
  // The frame's palette indices as RGB, row by row.
  pixels: () => context2d.getImageData(0, 0, WIDTH, HEIGHT).data,
  // Which build of libtonera makes the sound: 'tonera_simd.wasm' or 'tonera.wasm'.
  tonera: toneraFile,
  mode: () => (M._page_mode_now() === 1 ? 'player' : 'selector'),
  audioState: () => (audio ? audio.context.state : 'not started'),
  // The audio clock against performance.now(): { contextTime, performanceTime }.
  outputTimestamp: () => audio?.context.getOutputTimestamp(),
  openSong,
  startSound,
  // The player's state as the buttons show it (null in the selector), the
  // credits of the song playing, and the media controls' actions.
  state: () => playerState(),
  credits,
  mediaAction: (action, details) => media.act(action, details),
  playList: () => ({ at: playList.at, names: playList.entries.map((e) => e.name) }),
  // Milliseconds from the first click or key to the worklet's first sound
  // (its message that it rendered a sample other than silence), or null.
  firstSound: () => (gestureAt !== null && soundingAt !== null ? soundingAt - gestureAt : null),
};

// ---- start ----

M._page_init(cString('/songs'));
pass();
// A song named by a link comes while the page already answers keys.
const wanted = new URLSearchParams(location.search).get('song');
if (wanted) {
  const said = soundLine.textContent;
  let loading = '';
  fetchSong(wanted, (bytes) => {
    if (soundLine.textContent === said || soundLine.textContent === loading) {
      soundLine.textContent = loading = `Loading the song: ${Math.floor(bytes / 1024)} KB`;
    }
  })
    .then((got) => {
      if (loading && soundLine.textContent === loading) soundLine.textContent = said;
      if (got.line) notice(got.line);
      else {
        songUrl = wanted;
        openSong(wanted, got.bytes, 'url', got.name);
      }
    })
    .catch((e) => { soundLine.textContent = `The song did not open: ${e?.message ?? e}`; });
}
setInterval(pass, 50);
// The page and its modules kept for a visit without the network.
// The worker keeps its own list of the page's files, and every file that
// this visit fetched before the worker took over.
if ('serviceWorker' in navigator && new URLSearchParams(location.search).get('offline') !== '0') {
  navigator.serviceWorker.register('sw.js').then(async () => {
    const worker = (await navigator.serviceWorker.ready).active;
    worker?.postMessage({ type: 'keep', urls: performance.getEntriesByType('resource').map((e) => e.name) });
  }).catch(() => {});
}
window.playtun.ready = true;
