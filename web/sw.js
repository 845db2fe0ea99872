// The page's service worker: it keeps the page, its modules and the
// WebAssembly (which holds the bundled songs) in a cache, so that a visit
// without the network plays as the first one did. The page's own files are
// asked of the network first, so a new build is taken as soon as it is
// there, and come from the cache when the network is gone. Songs named by
// ?song=URL are left to the network.
const BUILD = '@BUILD@';  // the build's stamp, set when the page is built
const CACHE = `playtun-${BUILD}`;
const FILES = ['./', 'index.html', 'page.js', 'controls.js', 'media_session.js', 'play_list.js', 'worklet.js',
  'tonera_module.js', 'playtun.js', 'playtun.wasm', 'tonera.wasm', 'tonera_simd.wasm', 'manifest.webmanifest',
  'icon.svg', 'icon-192.png', 'icon-512.png'];
// Other files of the page that it fetches are kept as well when they come.
const KEPT = /\.(html|js|wasm|webmanifest|png|svg)$/;

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // One file missing must not keep the others out.
    await Promise.all(FILES.map((f) => cache.add(new Request(f, { cache: 'reload' })).catch(() => {})));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) if (name.startsWith('playtun-') && name !== CACHE) await caches.delete(name);
    await self.clients.claim();
  })());
});

// Files the page fetched before this worker answered for it: kept, so
// that a module missing from FILES is there for the next visit too.
self.addEventListener('message', (event) => {
  if (event.data?.type !== 'keep' || !Array.isArray(event.data.urls)) return;
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    for (const url of event.data.urls.slice(0, 100)) {
      if (!kept(new URL(url, self.location.href)) || await cache.match(url)) continue;
      await cache.add(url).catch(() => {});
    }
  })());
});

// The page's own files: under the worker's folder, of a kind in KEPT.
function kept(url) {
  const scope = new URL(self.registration.scope);
  return url.origin === self.location.origin && url.pathname.startsWith(scope.pathname) && KEPT.test(url.pathname);
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  if (request.mode !== 'navigate' && !kept(url)) return;
  const scope = new URL(self.registration.scope);
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    // The page under any query (?song=, ?simd=) is the same file.
    const key = request.mode === 'navigate' ? new Request(new URL('./', scope)) : request;
    try {
      const response = await fetch(request);
      if (response.ok) await cache.put(key, response.clone());
      return response;
    } catch (error) {
      const found = await cache.match(key, { ignoreSearch: true }) ??
        (request.mode === 'navigate' ? await cache.match('index.html', { ignoreSearch: true }) : undefined);
      if (found) return found;
      throw error;
    }
  })());
});
