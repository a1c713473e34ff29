// Keeps the playground working offline: every file the page loads is cached on the first
// visit; later requests are answered from the cache at once and the cache is refreshed from
// the network when it answers. The cache is named by a hash of those files, made when the page
// is built, so that a new build never pairs an old page with a new module: its cache replaces
// the old one whole.
'use strict';

const CACHE = 'vorn-playground-@VERSION@';
const FILES = [@FILES@];

self.addEventListener('install', (e) => {
  e.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    await cache.addAll(FILES);
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
