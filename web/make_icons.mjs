// Draws the program's icon (packaging/playtun.svg: eight voice bars under a
// pulse wave on dark blue) as the PNG files the web app manifest names,
// without an SVG renderer: the drawing's few shapes are painted here at 4 x
// 4 samples a pixel.
//   node make_icons.mjs OUT_FOLDER
import { writeFileSync } from 'node:fs';
import { deflateSync } from 'node:zlib';
import { join } from 'node:path';

const BARS = [[9, 38, 16, '#55ff55'], [15, 30, 24, '#55ffff'], [21, 42, 12, '#ffff55'], [27, 26, 28, '#ff55ff'],
  [33, 34, 20, '#ff5555'], [39, 40, 14, '#55ff55'], [45, 32, 22, '#55ffff'], [51, 44, 10, '#ffff55']];
const WAVE = [[8, 22], [16, 22], [16, 10], [24, 10], [24, 22], [32, 22], [32, 10], [40, 10], [40, 22], [48, 22],
  [48, 10], [56, 10]];
const rgb = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));

// Distance from (x, y) to the rounded square 2..62 with corners of radius
// 10: negative inside.
function squareDistance(x, y) {
  const dx = Math.max(Math.abs(x - 32) - 20, 0), dy = Math.max(Math.abs(y - 32) - 20, 0);
  return Math.hypot(dx, dy) - 10 + Math.min(Math.max(Math.abs(x - 32) - 20, Math.abs(y - 32) - 20), 0);
}

function segmentDistance(x, y, [ax, ay], [bx, by]) {
  const lx = bx - ax, ly = by - ay;
  const t = Math.max(0, Math.min(1, ((x - ax) * lx + (y - ay) * ly) / (lx * lx + ly * ly)));
  return Math.hypot(x - ax - t * lx, y - ay - t * ly);
}

// The colour and opacity at a point of the 64 x 64 drawing.
function sample(x, y) {
  const d = squareDistance(x, y);
  if (d > 1) return [0, 0, 0, 0];
  let c = rgb('#1a1a6e');
  if (Math.abs(d) <= 1) c = rgb('#5555ff');
  for (const [bx, by, h, colour] of BARS) {
    if (x >= bx && x < bx + 4 && y >= by && y < by + h) c = c.map((v, i) => 0.15 * v + 0.85 * rgb(colour)[i]);
  }
  for (let i = 1; i < WAVE.length; ++i) if (segmentDistance(x, y, WAVE[i - 1], WAVE[i]) <= 1.5) c = [255, 255, 255];
  return [...c, 255];
}

function crc32(bytes) {
  let c = ~0;
  for (const b of bytes) {
    c ^= b;
    for (let k = 0; k < 8; ++k) c = (c >>> 1) ^ (0xedb88320 & -(c & 1));
  }
  return ~c >>> 0;
}

function chunk(type, data) {
  const out = Buffer.alloc(12 + data.length);
  out.writeUInt32BE(data.length, 0);
  out.write(type, 4, 'ascii');
  data.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
  return out;
}

function png(size) {
  const rows = Buffer.alloc(size * (1 + 4 * size));
  const n = 4, scale = 64 / size;
  for (let py = 0; py < size; ++py) {
    for (let px = 0; px < size; ++px) {
      const sum = [0, 0, 0, 0];
      for (let sy = 0; sy < n; ++sy) {
        for (let sx = 0; sx < n; ++sx) {
          const s = sample((px + (sx + 0.5) / n) * scale, (py + (sy + 0.5) / n) * scale);
          for (let i = 0; i < 3; ++i) sum[i] += s[i] * s[3];
          sum[3] += s[3];
        }
      }
      const at = py * (1 + 4 * size) + 1 + 4 * px;
      for (let i = 0; i < 3; ++i) rows[at + i] = sum[3] ? Math.round(sum[i] / sum[3]) : 0;
      rows[at + 3] = Math.round(sum[3] / (n * n));
    }
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header[8] = 8;  // bits per sample
  header[9] = 6;  // RGBA
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
    chunk('IDAT', deflateSync(rows, { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
}

for (const size of [192, 512]) writeFileSync(join(process.argv[2], `icon-${size}.png`), png(size));
