// libtonera (tonera.wasm) for JavaScript: the same module makes the sound in
// the audio worklet and renders WAV files on the page. It imports only two
// functions, so it needs no generated glue.
export const SNAPSHOT_BYTES = 4192;  // sizeof(tonera_snapshot), checked in page.cpp

export function toneraFromModule(module) {
  const imports = {
    wasi_snapshot_preview1: { proc_exit(code) { throw new Error(`libtonera ended with ${code}`); } },
    env: { emscripten_notify_memory_growth() {} },
  };
  const instance = new WebAssembly.Instance(module, imports);
  instance.exports._initialize();
  return new Tonera(instance.exports);
}

class Tonera {
  constructor(x) { this.x = x; }
  bytes() { return new Uint8Array(this.x.memory.buffer); }
  text(pointer) {
    const heap = this.bytes();
    let end = pointer;
    while (heap[end] !== 0) ++end;
    return new TextDecoder().decode(heap.subarray(pointer, end));
  }
  // Opens a song from its file's bytes: { song } or { error } with
  // libtonera's text for it.
  open(data) {
    const x = this.x;
    const at = x.malloc(data.length + 4);
    this.bytes().set(data, at);
    const handle = at + data.length;
    const code = x.tonera_open(at, data.length, handle);
    const song = new DataView(x.memory.buffer).getUint32(handle, true);
    x.free(at);
    if (code !== 0) return { error: this.text(x.tonera_strerror(code)) };
    return { song: new Song(this, song) };
  }
}

class Song {
  constructor(tonera, handle) {
    this.t = tonera;
    this.x = tonera.x;
    this.handle = handle;
    this.capacity = 0;
    this.buffer = 0;
    this.snapshot = this.x.malloc(SNAPSHOT_BYTES);
    this.slot = this.x.malloc(32);
  }
  close() {
    this.x.tonera_close(this.handle);
    this.x.free(this.buffer);
    this.x.free(this.snapshot);
    this.x.free(this.slot);
  }
  reserve(bytes) {
    if (bytes <= this.capacity) return;
    this.x.free(this.buffer);
    this.buffer = this.x.malloc(bytes);
    this.capacity = bytes;
  }
  // Up to `count` stereo frames as interleaved floats (a view into the
  // module's memory, valid until the next call); fewer at the end.
  renderF32(count) {
    this.reserve(8 * count);
    const got = this.x.tonera_render_f32(this.handle, this.buffer, count);
    return new Float32Array(this.x.memory.buffer, this.buffer, 2 * got);
  }
  renderS16(count) {
    this.reserve(4 * count);
    const got = this.x.tonera_render_s16(this.handle, this.buffer, count);
    return new Int16Array(this.x.memory.buffer, this.buffer, 2 * got);
  }
  setLoops(passes) { this.x.tonera_set_loops(this.handle, passes); }
  seekFrame(frame) { this.x.tonera_seek_frame(this.handle, frame); }
  setMuteMask(mask) { this.x.tonera_set_mute_mask(this.handle, mask); }
  setPulseFold(on) { this.x.tonera_set_pulse_fold(this.handle, on); }
  // definition: 16 bytes; bases: two of TONERA_BASE_*.
  setSlot(slot, definition, bases) {
    const heap = this.t.bytes();
    heap.set(definition, this.slot);
    const view = new DataView(this.x.memory.buffer);
    view.setInt32(this.slot + 16, bases[0], true);
    view.setInt32(this.slot + 20, bases[1], true);
    this.x.tonera_wave_set_slot(this.handle, slot, this.slot, this.slot + 16);
  }
  // A copy of the visualiser snapshot's bytes.
  snapshotBytes() {
    this.x.tonera_get_snapshot(this.handle, this.snapshot);
    return this.t.bytes().slice(this.snapshot, this.snapshot + SNAPSHOT_BYTES);
  }
}
