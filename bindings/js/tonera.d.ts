// Types of the tonera module (tonera.js).

export const SAMPLE_RATE: 48000;
export const MAX_VOICES: 8;
export const SCOPE_FRAMES: 1024;
export const LOOP_FOREVER: -1;
export const VARIANT_PLAIN: 0;
export const VARIANT_CHIP: 1;
export const E_INVALID: -1;

/** A song's bytes: the contents of a .tun file. */
export type SongBytes = Uint8Array | ArrayBuffer | ArrayBufferView;

export interface LoadOptions {
  /** The SIMD build or the plain one (default: SIMD where the engine validates it). */
  simd?: boolean;
  /** The WebAssembly module's bytes, instead of the package's file. */
  wasm?: Uint8Array | ArrayBuffer;
}

/** A failure libtonera reported: its negative TONERA_E_ code and its text as the message. */
export class ToneraError extends Error {
  constructor(code: number, message: string);
  readonly code: number;
}

/** Whether this engine validates WebAssembly SIMD. */
export function simdSupported(): boolean;

/** The WebAssembly module's bytes and which build they are. */
export function toneraWasm(options?: LoadOptions): Promise<{ bytes: Uint8Array | ArrayBuffer; simd: boolean }>;

export class Tonera {
  /** Loads and instantiates libtonera's module. */
  static load(options?: LoadOptions): Promise<Tonera>;
  /** From a compiled module, at once. */
  constructor(module: WebAssembly.Module, simd?: boolean);
  /** Whether this is the SIMD build. */
  readonly simd: boolean;
  /** The library's version, "MAJOR.MINOR.PATCH". */
  readonly version: string;
  /** Opens a song (its bytes are copied); throws ToneraError when they are not a song. */
  open(data: SongBytes): Song;
}

export interface ChannelRecord {
  pitch: number;
  pulse: number;
  control: number;
  volume: number;
  filter: number;
}

export interface Snapshot {
  /** The song frame the next tick reads. */
  songFrame: number;
  positionFrames: number;
  channels: number;
  /** One record per voice, as the latest song frame gave it. */
  records: ChannelRecord[];
  /** What each voice plays after the latest tick (volume 0 when muted). */
  voiceVolume: number[];
  voicePulse: number[];
  voiceFilter: number[];
  /** The latest rendered stereo frames, oldest first, interleaved (up to 1024 frames). */
  scope: Int16Array;
}

export type SampleFormat = 'int16' | 'float32';

export class Song {
  /** The credits of the song's text ("TITLE by AUTHOR, RELEASE"), or "". */
  readonly title: string;
  readonly author: string;
  readonly released: string;
  /** The song's free text. */
  readonly text: string;
  readonly variant: number;
  readonly channels: number;
  /** Song frames per second. */
  readonly frameRate: number;
  readonly frames: number;
  /** The loop section's first frame, or null without one. */
  readonly loop: number | null;
  /** Stereo frames per song frame. */
  readonly samplesPerFrame: number;
  readonly durationMs: number;
  /** Seconds once through. */
  readonly duration: number;
  /** Stereo frames the rendering lasts as set; Infinity without end. */
  readonly lengthFrames: number;
  readonly positionFrames: number;
  readonly songFrame: number;
  readonly loops: number;
  readonly closed: boolean;
  /** Muted voices: bit 0 is voice 1, bit 7 voice 8. */
  muteMask: number;
  /** How often the loop section plays, the first pass included; LOOP_FOREVER without end. */
  setLoops(passes: number): void;
  /** Ends the rendering after at most ms milliseconds (0: no limit). */
  setLength(ms: number): void;
  /** Fades the last ms milliseconds to silence (0: no fade). */
  setFade(ms: number): void;
  /** To the song frame at or before ms milliseconds into the rendering. */
  seek(ms: number): void;
  /** To the start of a song frame of the first pass. */
  seekFrame(frame: number): void;
  /** Up to `frames` stereo frames, interleaved; fewer only at the end. */
  render(frames: number, format?: 'int16'): Int16Array;
  render(frames: number, format: 'float32'): Float32Array;
  /** As render, as a view into the module's memory valid until the next call. */
  renderView(frames: number, format?: 'int16'): Int16Array;
  renderView(frames: number, format: 'float32'): Float32Array;
  snapshot(): Snapshot;
  close(): void;
}

export interface NodeOptions extends LoadOptions {
  /** As Song.setLoops (default 1). */
  loops?: number;
  /** Start paused (default: playing). */
  paused?: boolean;
  /** Render quanta (128 frames) between snapshots (default 8). */
  snapshotEvery?: number;
}

export interface SongFacts {
  title: string;
  author: string;
  released: string;
  channels: number;
  frames: number;
  loop: number | null;
  frameRate: number;
  duration: number;
  lengthFrames: number;
}

export interface ToneraNode extends AudioWorkletNode {
  readonly facts: SongFacts;
  /** The latest snapshot posted by the worklet. */
  readonly snapshot: Snapshot | null;
  readonly ended: boolean;
  onsnapshot: ((snapshot: Snapshot) => void) | null;
  onended: (() => void) | null;
  play(): void;
  pause(): void;
  seek(ms: number): void;
  seekFrame(frame: number): void;
  mute(mask: number): void;
}

/** An AudioWorkletNode that plays the song into its stereo output. */
export function createToneraNode(context: BaseAudioContext, song: SongBytes, options?: NodeOptions): Promise<ToneraNode>;
