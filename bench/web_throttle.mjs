// The page on a slow machine: headless Chromium with its CPU slowed down
// by the DevTools protocol (Emulation.setCPUThrottlingRate), each bundled
// song played for SECONDS after a click, and for each:
//   missed   render quanta of 128 frames the audio clock fell behind the
//            wall clock (AudioContext.getOutputTimestamp: the frames the
//            context rendered against 48000 a second of performance.now())
//   present  the screens drawn a second (the page presents a frame when its
//            cells changed, at most twenty times a second)
//   raf      requestAnimationFrame callbacks a second
//
//   node bench/web_throttle.mjs WEB_DIR[,WEB_DIR...] [RATES=1,6] [SECONDS=10]
// Several built pages (say before and after a change) are measured in the
// same run, song by song.
// (playwright-core from web/node_modules, `cd web && npm ci`.)
import { readdir } from 'node:fs/promises';
import { join, relative } from 'node:path';
import { serve, launch, openPage } from '../web/tests/browser.mjs';

const webs = process.argv[2].split(',');
const rates = (process.argv[3] ?? '1,6').split(',').map(Number);
const seconds = Number(process.argv[4] ?? 10);
const songs = new URL('../songs/', import.meta.url).pathname;

async function songFiles(folder = songs) {
  const found = [];
  for (const entry of await readdir(folder, { withFileTypes: true })) {
    const path = join(folder, entry.name);
    if (entry.isDirectory()) found.push(...await songFiles(path));
    else if (/\.tun$/i.test(entry.name)) found.push(path);
  }
  return found.sort();
}

const servers = await Promise.all(webs.map((web) => serve(web)));
const browser = await launch();
const rows = [];
try {
  for (const rate of rates) {
    for (const file of await songFiles()) for (const [which, { url }] of servers.entries()) {
      const { page } = await openPage(browser, url);
      const cdp = await page.context().newCDPSession(page);
      await cdp.send('Emulation.setCPUThrottlingRate', { rate });
      await page.click('#screen');
      await page.setInputFiles('#file', file);
      await page.waitForFunction(() => window.playtun.mode() === 'player' && window.playtun.audioState() === 'running');
      await page.waitForTimeout(500);  // past the start
      await page.evaluate(() => {
        const w = (window.measured = { presents: 0, rafs: 0 });
        const present = globalThis.playtunPresent;
        globalThis.playtunPresent = () => { ++w.presents; present(); };
        const frame = () => { ++w.rafs; requestAnimationFrame(frame); };
        requestAnimationFrame(frame);
        w.start = window.playtun.outputTimestamp();
      });
      await page.waitForTimeout(1000 * seconds);
      const m = await page.evaluate(() => ({ ...window.measured, end: window.playtun.outputTimestamp() }));
      const wall = (m.end.performanceTime - m.start.performanceTime) / 1000;
      const rendered = (m.end.contextTime - m.start.contextTime) * 48000;
      rows.push({
        page: webs[which], rate, song: relative(songs, file),
        missed: Math.max(0, Math.round((wall * 48000 - rendered) / 128)),
        present: (m.presents / wall).toFixed(1), raf: (m.rafs / wall).toFixed(1),
      });
      console.error(JSON.stringify(rows.at(-1)));
      await page.close();
    }
  }
} finally {
  await browser.close();
  for (const { server } of servers) server.close();
}
console.log('| page | CPU slowed | song | quanta missed | screens/s | rAF/s |');
console.log('|---|---|---|---|---|---|');
for (const r of rows) console.log(`| ${r.page} | ${r.rate}x | ${r.song} | ${r.missed} | ${r.present} | ${r.raf} |`);
