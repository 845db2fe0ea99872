// The audio worklet of createToneraNode: libtonera renders the song straight
// into the node's stereo output, 128 frames at a time. Messages from the
// node: play, pause, seek (ms or frame), mute (mask). Messages to it: ready
// (with the song's facts) or error once, then a snapshot every few quanta
// and when the song ends, and ended. The song stays open at its end, so a
// seek plays again.
import { Tonera } from './tonera.js';

class ToneraProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = options.processorOptions;
    this.every = Math.max(1, o.snapshotEvery);
    this.quanta = 0;
    this.paused = o.paused;
    this.ended = false;
    this.song = null;
    try {
      this.song = new Tonera(new WebAssembly.Module(o.wasm)).open(o.song);
      this.song.setLoops(o.loops);
    } catch (e) {
      this.port.postMessage({ type: 'error', code: e.code ?? 0, message: e.message });
      return;
    }
    const s = this.song;
    this.port.postMessage({ type: 'ready', facts: { title: s.title, author: s.author, released: s.released,
      channels: s.channels, frames: s.frames, loop: s.loop, frameRate: s.frameRate, duration: s.duration,
      lengthFrames: s.lengthFrames } });
    this.port.onmessage = (event) => this.command(event.data);
  }

  command(m) {
    const song = this.song;
    if (m.type === 'play') this.paused = false;
    if (m.type === 'pause') this.paused = true;
    if (m.type === 'mute') song.muteMask = m.mask;
    if (m.type === 'seek') {
      if (m.frame !== undefined) song.seekFrame(Math.min(m.frame, song.frames));
      else song.seek(m.ms);
      this.ended = false;
    }
  }

  process(inputs, outputs) {
    if (!this.song || this.paused || this.ended) return true;  // the outputs come zeroed
    const left = outputs[0][0];
    const right = outputs[0][1];
    const frames = this.song.renderView(left.length, 'float32');
    const got = frames.length / 2;
    for (let i = 0; i < got; ++i) {
      left[i] = frames[2 * i];
      right[i] = frames[2 * i + 1];
    }
    this.ended = got < left.length;
    if (this.ended || ++this.quanta % this.every === 0) {
      const snapshot = this.song.snapshot();
      this.port.postMessage({ type: 'snapshot', snapshot }, [snapshot.scope.buffer]);
    }
    if (this.ended) this.port.postMessage({ type: 'ended' });
    return true;
  }
}

registerProcessor('tonera', ToneraProcessor);
