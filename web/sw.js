// Keeps the playground working offline: the page, its script, styles, the assembler module and
// the examples are cached on the first visit; later requests are answered from the cache at
// once and the cache is refreshed from the network when it answers.
'use strict';

const CACHE = 'vorn-playground-1';
const PAGE = ['./', 'index.html', 'app.js', 'style.css', 'worker.js', 'vorn.js', 'favicon.svg',
              'examples/index.json'];

self.addEventListener('install', (e) => {
  e.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    await cache.addAll(PAGE);
    const names = await (await fetch('examples/index.json')).json();
    await cache.addAll(names.map((n) => `examples/${encodeURIComponent(n)}`));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (e) => {
  e.waitUntil((async () => {
    for (const key of await caches.keys()) if (key !== CACHE) await caches.delete(key);
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', (e) => {
  if (e.request.method !== 'GET' || new URL(e.request.url).origin !== location.origin) return;
  e.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const cached = await cache.match(e.request, {ignoreSearch: true});
    const fresh = fetch(e.request).then((response) => {
      if (response.ok) cache.put(e.request, response.clone());
      return response;
    });
    if (cached) {
      e.waitUntil(fresh.catch(() => {}));
      return cached;
    }
    return fresh;
  })());
});
