// Renders a song once through as 16-bit stereo frames off the page's main
// thread, for its WAV download. Asked with { module, song, maxFrames }, it
// answers with messages:
//   { type: 'length', frames }     how long the song is, before any work
//   { type: 'refused', frames }    longer than maxFrames: nothing rendered
//   { type: 'part', samples, frames }  the next frames (an Int16Array, its
//                                  buffer handed over), and the count so far
//   { type: 'done', frames }       all of them
//   { type: 'error', message }     the song did not open
import { toneraFromModule } from './tonera_module.js';

const BLOCK = 48000;              // frames asked of libtonera at a time
const PART = 16 * BLOCK;  // frames in one part (3 MB): a whole number of blocks

self.onmessage = (event) => {
  const { module, song: bytes, maxFrames } = event.data;
  let song = null;
  try {
    const opened = toneraFromModule(module).open(bytes);
    if (opened.error) {
      self.postMessage({ type: 'error', message: opened.error });
      return;
    }
    song = opened.song;
    const length = Number(song.x.tonera_length_frames(song.handle));
    self.postMessage({ type: 'length', frames: length });
    if (length > maxFrames) {
      self.postMessage({ type: 'refused', frames: length });
      return;
    }
    let total = 0;
    let part = new Int16Array(2 * PART), filled = 0;
    for (;;) {
      const got = song.renderS16(BLOCK);
      part.set(got, 2 * filled);
      filled += got.length / 2;
      total += got.length / 2;
      const ended = got.length < 2 * BLOCK;
      if (filled === PART || (ended && filled > 0)) {
        const samples = filled === PART ? part : part.slice(0, 2 * filled);
        self.postMessage({ type: 'part', samples, frames: total }, [samples.buffer]);
        part = new Int16Array(2 * PART);
        filled = 0;
      }
      if (ended) break;
    }
    self.postMessage({ type: 'done', frames: total });
  } catch (e) {
    self.postMessage({ type: 'error', message: String(e?.message ?? e) });
  } finally {
    song?.close();
  }
};
