// The songs that came from outside the page (chosen, dropped, or named by a
// link) in the page's file system, where the loader reads them. Each gets a
// folder of its own under /upload, so that two songs of the same name never
// meet; a song is kept while it is wanted (the current song, or one in the
// list) and its file and folder go when it is released.
let next = 0;

export function createSongStore(FS) {
  const held = new Set();
  try { FS.mkdir('/upload'); } catch { /* there already */ }
  return {
    // The path of `bytes` written under a safe form of `name`.
    add(name, bytes) {
      let base = String(name).split(/[/\\]/).pop().replace(/[\u0000-\u001f\u007f]/g, '_').slice(-200);
      if (base === '' || base === '.' || base === '..') base = 'song.tun';
      const folder = `/upload/${++next}`;
      FS.mkdir(folder);
      const path = `${folder}/${base}`;
      try {
        FS.writeFile(path, bytes);
      } catch (e) {
        try { FS.rmdir(folder); } catch { /* nothing written */ }
        throw e;
      }
      held.add(path);
      return path;
    },
    release(path) {
      if (!held.delete(path)) return;
      try { FS.unlink(path); } catch { /* gone already */ }
      try { FS.rmdir(path.slice(0, path.lastIndexOf('/'))); } catch { /* gone already */ }
    },
    // The paths held, for tests.
    paths: () => [...held],
  };
}
