// A song named by a link (?song=URL): only from the page's own site, read
// as a stream that stops one byte past the loader's size limit, and given
// up when the body stalls. Every outcome is a value, never a throw:
//   { bytes } the whole body, or
//   { line }  the line the selector shows instead.

// The loader's limit (TONERA_MAX_SONG_BYTES): a body longer than this is no
// song, and is not read further.
export const MAX_SONG_BYTES = 256 * 1024 * 1024;
export const TOO_LARGE = '?Song too large  ERROR';
export const NOT_FOUND = 'File not found.';
export const OTHER_SITE = 'A link opens songs from this site only.';
export const STALLED = 'The song stopped coming: no byte for 20 s.';
export const BROKEN = 'The song did not come whole.';
const STALL_MS = 20000;

// The URL a link names, resolved against the page, when it is on the page's
// own site; null for another site or a data:, blob: or other scheme.
export function sameSiteUrl(wanted, base = location.href) {
  let url;
  try {
    url = new URL(wanted, base);
  } catch {
    return null;
  }
  const own = new URL(base);
  if (url.protocol !== 'http:' && url.protocol !== 'https:') return null;
  return url.origin === own.origin ? url : null;
}

// The last part of the URL's path, as a file name that the page's file
// system holds in one folder: no slashes, no '.' or '..', no control
// characters, not empty.
export function baseName(url) {
  let last = url.pathname.split('/').pop() ?? '';
  try { last = decodeURIComponent(last); } catch { /* kept as written */ }
  last = last.replace(/[\u0000-\u001f\u007f/\\]/g, '_').slice(-200);
  return last === '' || last === '.' || last === '..' ? 'song.tun' : last;
}

// `progress(bytes)` hears how much has come so far.
export async function fetchSong(wanted, progress = () => {}) {
  const url = sameSiteUrl(wanted);
  if (!url) return { line: OTHER_SITE };
  const controller = new AbortController();
  let stall = setTimeout(() => controller.abort(), STALL_MS);
  let responded = false;
  try {
    // A redirect could lead to another site after the check above: none is followed.
    const response = await fetch(url, { signal: controller.signal, credentials: 'same-origin', redirect: 'error' });
    if (!response.ok || !response.body) return { line: NOT_FOUND };
    responded = true;
    const claimed = Number(response.headers.get('Content-Length'));
    if (claimed > MAX_SONG_BYTES) {
      controller.abort();
      return { line: TOO_LARGE };
    }
    const reader = response.body.getReader();
    const parts = [];
    let total = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      clearTimeout(stall);
      stall = setTimeout(() => controller.abort(), STALL_MS);
      total += value.length;
      if (total > MAX_SONG_BYTES) {
        controller.abort();
        return { line: TOO_LARGE };
      }
      parts.push(value);
      progress(total);
    }
    const bytes = new Uint8Array(total);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    return { bytes, name: baseName(url) };
  } catch (e) {
    if (controller.signal.aborted) return { line: STALLED };
    return { line: responded ? BROKEN : NOT_FOUND };
  } finally {
    clearTimeout(stall);
  }
}
