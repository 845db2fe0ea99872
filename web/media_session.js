// The browser's media controls (lock screen, headphones, media keys): the
// song's credits as its title, artist and album, the transport actions
// through `app`, and the position for the browser's own seek bar.
export function setupMediaSession(app) {
  const session = navigator.mediaSession;
  const handlers = {
    play: () => app.setPaused(false),
    pause: () => app.setPaused(true),
    stop: () => app.setPaused(true),
    previoustrack: () => app.previous(),
    nexttrack: () => app.next(),
    seekto: (d) => app.seekSeconds(d.seekTime),
    seekbackward: (d) => app.seekSeconds(app.positionSeconds() - (d.seekOffset || 10)),
    seekforward: (d) => app.seekSeconds(app.positionSeconds() + (d.seekOffset || 10)),
  };
  if (session) {
    for (const [action, handler] of Object.entries(handlers)) {
      try { session.setActionHandler(action, handler); } catch { /* an action this browser lacks */ }
    }
  }
  let lastPosition = null;
  return {
    // The action's handler, as the browser calls it.
    act: (action, details = {}) => handlers[action]?.({ action, ...details }),

    // A new song: its credits, or its name as the title when it has none.
    song({ title, author, release, name }) {
      if (!session || typeof MediaMetadata === 'undefined') return;
      session.metadata = new MediaMetadata({
        title: title || name, artist: author, album: release,
        artwork: [{ src: 'icon-192.png', sizes: '192x192', type: 'image/png' },
          { src: 'icon-512.png', sizes: '512x512', type: 'image/png' }],
      });
      lastPosition = null;
    },

    // After every pass: `s` is app.state(), null while no song plays.
    update(s) {
      if (!session) return;
      if (s === null) {
        if (session.playbackState !== 'none') {
          session.playbackState = 'none';
          session.metadata = null;
        }
        return;
      }
      session.playbackState = s.paused ? 'paused' : 'playing';
      const duration = s.frameTotal / s.frameRate;
      const position = Math.min(s.frame / s.frameRate, duration);
      // The browser runs the position on by itself: it is told again only
      // when it would be a second or more off (seeks, pauses, loops).
      const expected = lastPosition && !s.paused ? lastPosition.position + (performance.now() - lastPosition.at) / 1000
        : lastPosition?.position;
      if (lastPosition && lastPosition.paused === s.paused && lastPosition.duration === duration &&
          Math.abs(expected - position) < 1) return;
      try {
        session.setPositionState({ duration, position, playbackRate: 1 });
        lastPosition = { position, duration, paused: s.paused, at: performance.now() };
      } catch { /* a duration of 0 */ }
    },
  };
}
