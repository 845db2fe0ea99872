// The audio worklet: libtonera renders the song straight into the output,
// 128 frames at a time, and posts a snapshot for the screen every 1024
// frames, with the latest 2048 frames of the left channel for the
// oscilloscope, which the program draws from its audio device's block of
// 2048 frames. Commands from the page (load, pause, seek, mutes, wave slots)
// arrive on the port. The first quantum with a sample other than silence is
// told to the page ('sounding'), which times the start of the sound by it.
import { toneraFromModule } from './tonera_module.js';

const SNAPSHOT_EVERY = 8;  // render quanta of 128 frames
const TRACE_FRAMES = 2048;

class PlaytunProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = options.processorOptions;
    this.tonera = toneraFromModule(new WebAssembly.Module(o.wasm));
    this.song = null;
    this.paused = false;
    this.played = 0;
    this.quanta = 0;
    this.ack = 0;
    this.trace = new Int16Array(TRACE_FRAMES);  // a ring; traceNext is its oldest frame
    this.traceNext = 0;
    this.sounded = false;
    if (o.song) this.load(o.song, o.loops);
    if (o.mute && this.song) this.song.setMuteMask(o.mute);
    this.port.onmessage = (event) => this.command(event.data);
  }

  load(bytes, loops) {
    if (this.song) this.song.close();
    this.song = null;
    this.played = 0;
    this.paused = false;
    this.trace.fill(0);
    const opened = this.tonera.open(bytes);
    if (opened.error) {
      this.port.postMessage({ type: 'error', message: opened.error });
      return;
    }
    this.song = opened.song;
    this.song.setLoops(loops);
  }

  command(m) {
    if (m.type === 'load') this.load(m.song, m.loops);
    if (m.type === 'stop' && this.song) { this.song.close(); this.song = null; }
    if (m.type === 'sync' && this.song) {
      if (m.seek >= 0) this.song.seekFrame(m.seek);
      this.paused = m.paused;
      this.song.setMuteMask(m.mute);
      this.song.setPulseFold(m.fold);
      for (let slot = 0; slot < 2; ++slot) this.song.setSlot(slot, m.definitions[slot], m.bases[slot]);
    }
    if (m.seq !== undefined) this.ack = m.seq;
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1];
    if (!this.song || this.paused) return true;  // the outputs come zeroed
    const n = left.length;
    const frames = this.song.renderF32(n);
    const got = frames.length / 2;
    const trace = this.trace;
    let at = this.traceNext;
    for (let i = 0; i < got; ++i) {
      left[i] = frames[2 * i];
      right[i] = frames[2 * i + 1];
      trace[at] = Math.round(left[i] * 32768);  // the 16-bit sample, exactly
      at = (at + 1) % TRACE_FRAMES;
    }
    this.traceNext = at;
    if (!this.sounded) {
      for (let i = 0; i < 2 * got; ++i) {
        if (frames[i] !== 0) {
          this.sounded = true;
          this.port.postMessage({ type: 'sounding' });
          break;
        }
      }
    }
    this.played += got;
    const ended = got < n;
    if (ended || ++this.quanta % SNAPSHOT_EVERY === 0) {
      const bytes = this.song.snapshotBytes();
      const trace = new Int16Array(TRACE_FRAMES);  // oldest first
      trace.set(this.trace.subarray(this.traceNext), 0);
      trace.set(this.trace.subarray(0, this.traceNext), TRACE_FRAMES - this.traceNext);
      this.port.postMessage({ type: 'snapshot', bytes, trace, played: this.played, ack: this.ack },
        [bytes.buffer, trace.buffer]);
    }
    if (ended) {
      this.song.close();
      this.song = null;
      this.port.postMessage({ type: 'ended', ack: this.ack });
    }
    return true;
  }
}

registerProcessor('playtun', PlaytunProcessor);
