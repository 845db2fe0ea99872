// Starting the system's Chromium headless and a static file server for the
// built page, for the browser tests.
import { chromium } from 'playwright-core';
import { createServer } from 'node:http';
import { readFile, mkdtemp } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, extname, normalize } from 'node:path';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.tun': 'application/octet-stream' };

// A plain static server: no special headers, as any file host. `more` maps
// a first path component to another folder (songs for ?song=URL).
export async function serve(folder, more = {}) {
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/^\/+/, '') || 'index.html';
    const [first, ...rest] = path.split('/');
    try {
      const body = await readFile(more[first] && rest.length ? join(more[first], ...rest) : join(folder, path));
      response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

// `options` adds to or replaces the context's settings (a touch screen, a
// phone's viewport).
export async function launch(options = {}) {
  const profile = await mkdtemp(join(tmpdir(), 'playtun-chromium-'));
  // A new, empty profile each time (Playwright passes it as --user-data-dir).
  return chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: { width: 700, height: 520 },
    ...options,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Opens the page and waits until it is ready; `errors` collects console
// errors and uncaught exceptions.
export async function openPage(browser, url) {
  const page = await browser.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction(() => window.playtun && window.playtun.ready, null, { timeout: 20000 });
  return { page, errors };
}
