// render.mjs - renders a .tun song once through into a WAV file (16-bit
// stereo, 48000 Hz) with the tonera module (npm install tonera-VERSION.tgz).
//
//   node render.mjs song.tun song.wav
import { readFile, writeFile } from 'node:fs/promises';
import { Tonera, SAMPLE_RATE } from 'tonera';

const [songPath, wavPath] = process.argv.slice(2);
if (!wavPath) {
  console.error('usage: node render.mjs SONG.tun OUT.wav');
  process.exit(2);
}
try {
  const song = (await Tonera.load()).open(await readFile(songPath));
  const samples = song.render(song.lengthFrames);  // the machine's byte order: little-endian on PCs
  song.close();
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + samples.byteLength, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);                 // the format chunk: PCM, 2 channels, 16 bits
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(2, 22);
  header.writeUInt32LE(SAMPLE_RATE, 24);
  header.writeUInt32LE(4 * SAMPLE_RATE, 28);
  header.writeUInt16LE(4, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(samples.byteLength, 40);
  await writeFile(wavPath, Buffer.concat([header, Buffer.from(samples.buffer, samples.byteOffset, samples.byteLength)]));
} catch (e) {
  console.error(`render.mjs: ${songPath}: ${e.message}`);
  process.exit(1);
}
