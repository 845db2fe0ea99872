// The buttons under the screen: previous, play/pause, next, the seek bar
// with the time, a mute toggle for each of the song's voices, open, the
// WAV download and the link to a song from a URL. They act through `app`
// (page.js), mostly as the player's keys do, and update() shows the
// player's state after every pass.
const $ = (id) => document.getElementById(id);

// Minutes and seconds as the player screen shows them.
export function timeText(seconds) {
  const s = Math.max(0, Math.floor(seconds));
  return `${String(Math.floor(s / 60)).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}`;
}

export function setupControls(app) {
  const previous = $('previous'), play = $('play'), next = $('next'), seek = $('seek'), time = $('time');
  const voices = $('voices'), share = $('share'), file = $('file');
  let voiceButtons = [];
  let seekingUntil = 0;  // the bar is the listener's while it is dragged

  previous.addEventListener('click', () => app.previous());
  next.addEventListener('click', () => app.next());
  play.addEventListener('click', () => app.togglePause());
  seek.addEventListener('input', () => {
    seekingUntil = performance.now() + 400;
    app.seekSeconds(Number(seek.value));
  });
  $('open').addEventListener('click', () => file.click());
  $('wav').addEventListener('click', () => app.downloadWav());
  share.addEventListener('click', () => app.share());

  function makeVoiceButtons(count) {
    voices.replaceChildren();
    voiceButtons = [];
    for (let v = 0; v < count; ++v) {
      const button = document.createElement('button');
      button.textContent = String(v + 1);
      button.setAttribute('aria-label', `Mute voice ${v + 1}`);
      button.title = `Mute or unmute voice ${v + 1} (F${v + 1})`;
      button.setAttribute('aria-pressed', 'false');
      button.addEventListener('click', () => app.toggleMute(v));
      voices.append(button);
      voiceButtons.push(button);
    }
  }

  let shown = '';
  return {
    // `s` is app.state(): null while no song plays.
    update(s) {
      const key = JSON.stringify(s) + app.songUrl();
      if (key === shown) return;
      shown = key;
      const playing = s !== null;
      previous.disabled = !playing || !s.hasPrevious;
      next.disabled = !playing || !s.hasNext;
      play.disabled = !playing;
      seek.disabled = !playing;
      share.disabled = !app.songUrl();
      const paused = !playing || s.paused;
      play.setAttribute('aria-label', paused ? 'Play' : 'Pause');
      play.classList.toggle('paused', paused);
      if ((playing ? s.voices : 0) !== voiceButtons.length) makeVoiceButtons(playing ? s.voices : 0);
      if (!playing) {
        time.textContent = '00:00 / 00:00';
        seek.max = '0';
        seek.value = '0';
        seek.removeAttribute('aria-valuetext');
        return;
      }
      voiceButtons.forEach((b, v) => b.setAttribute('aria-pressed', String((s.muteMask >> v & 1) === 1)));
      const at = s.frame / s.frameRate, length = s.frameTotal / s.frameRate;
      const text = `${timeText(at)} / ${timeText(length)}`;
      time.textContent = text;
      seek.max = String(Math.max(0, Math.floor((s.frameTotal - 1) / s.frameRate)));
      if (performance.now() >= seekingUntil) seek.value = String(Math.floor(at));
      seek.setAttribute('aria-valuetext', text.replace(' / ', ' of '));
    },
  };
}
