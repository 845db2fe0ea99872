// The WAV download: the song rendered in a worker (wav_worker.js) while the
// page goes on drawing, its frames kept as Blobs of a few MB each (the
// browser may put them on disk), and the file one Blob of the header and
// those parts. A song longer than the 32-bit sizes of a WAV file hold, or
// larger than the browser will keep, is refused with a message.

// The most sample bytes a classic WAV holds: its RIFF size (36 + data)
// is a 32-bit field.
export const MAX_WAV_DATA_BYTES = 0xffffffff - 36;
const BYTES_PER_FRAME = 4;

const megabytes = (bytes) => `${Math.ceil(bytes / 1e6)} MB`;
const duration = (frames) => {
  const s = Math.floor(frames / 48000);
  return `${Math.floor(s / 3600)} h ${String(Math.floor(s / 60) % 60).padStart(2, '0')} min`;
};

// A refusal or failure, with the text shown for it.
export class WavRefused extends Error {}

// Resolves to the WAV file's Blob. `header(frames)` gives the header's bytes
// for that many frames; `progress(done, all)` hears the frames made so far.
export function makeWav(module, songBytes, header, progress = () => {}) {
  return new Promise((resolve, reject) => {
    const worker = new Worker(new URL('./wav_worker.js', import.meta.url), { type: 'module' });
    const parts = [];
    let length = 0;
    let settled = false;
    const finish = (error, blob) => {
      if (settled) return;
      settled = true;
      worker.terminate();
      if (error) reject(error);
      else resolve(blob);
    };
    const tooLong = (frames) => new WavRefused(`No WAV: the song lasts ${duration(frames)}, and a WAV file holds ` +
      `at most ${duration(MAX_WAV_DATA_BYTES / BYTES_PER_FRAME)} (4 GiB of samples).`);
    worker.onerror = (event) => finish(new WavRefused(`No WAV: ${event.message || 'the renderer failed'}`));
    worker.onmessage = async (event) => {
      const m = event.data;
      if (settled) return;
      try {
        if (m.type === 'error') finish(new WavRefused(`No WAV: ${m.message}`));
        if (m.type === 'refused') finish(tooLong(m.frames));
        if (m.type === 'length') {
          length = m.frames;
          const needed = length * BYTES_PER_FRAME;
          if (needed > MAX_WAV_DATA_BYTES) return finish(tooLong(length));
          const estimate = await navigator.storage?.estimate?.().catch(() => null);
          const free = estimate?.quota ? estimate.quota - (estimate.usage ?? 0) : Infinity;
          if (needed > free) {
            finish(new WavRefused(`No WAV: it needs ${megabytes(needed)}, and the browser grants this page ` +
              `${megabytes(free)}.`));
          }
        }
        if (m.type === 'part') {
          parts.push(new Blob([m.samples]));
          progress(m.frames, length);
        }
        if (m.type === 'done') {
          const blob = new Blob([header(m.frames), ...parts], { type: 'audio/wav' });
          // A Blob the browser could not store reads as an error: try its
          // last byte before offering it.
          await blob.slice(Math.max(0, blob.size - 1)).arrayBuffer();
          finish(null, blob);
        }
      } catch (e) {
        finish(new WavRefused(`No WAV: the browser would not keep ${megabytes(length * BYTES_PER_FRAME)} ` +
          `(${e?.name ?? 'error'}).`));
      }
    };
    worker.postMessage({ module, song: songBytes, maxFrames: Math.floor(MAX_WAV_DATA_BYTES / BYTES_PER_FRAME) });
  });
}
