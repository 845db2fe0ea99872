// The canvas's pointer input for the screens: mouse and touch alike, as
// text cells. A press that moves less than a few pixels is a click (a tap);
// a drag that goes mostly up or down scrolls a line per cell it travels,
// the list following the finger; one that goes mostly sideways is a swipe
// of the columns it travelled, told when the finger lifts. The wheel
// scrolls three lines per step. The cells come from the canvas's rendered
// rectangle, so any scale maps right. Double clicks are recognised by the
// screens' own rule, from the clicks' timing.
const COLUMNS = 80, ROWS = 50;
const KIND = { click: 0, scroll: 2, swipe: 3 };
const SLOP = 8;            // CSS pixels a tap may move
const WHEEL_PIXELS = 100;  // a wheel step in pixels, as browsers report it

// `send(kind, column, row, amount)` is the page's export; `gesture(event)`
// is told of every press and release, so that the sound can start inside
// a gesture on every browser.
export function attachPointer(canvas, send, gesture) {
  canvas.style.touchAction = 'none';
  const cellOf = (event) => {
    const r = canvas.getBoundingClientRect();
    const column = Math.floor(((event.clientX - r.left) / r.width) * COLUMNS);
    const row = Math.floor(((event.clientY - r.top) / r.height) * ROWS);
    return [Math.min(COLUMNS - 1, Math.max(0, column)), Math.min(ROWS - 1, Math.max(0, row))];
  };
  const cellSize = () => {
    const r = canvas.getBoundingClientRect();
    return [r.width / COLUMNS, r.height / ROWS];
  };

  let press = null;  // { id, x, y, axis, lines, cell }
  canvas.addEventListener('pointerdown', (event) => {
    gesture(event);
    if (event.pointerType === 'mouse' && event.button !== 0) return;
    press = { id: event.pointerId, x: event.clientX, y: event.clientY, axis: null, lines: 0, cell: cellOf(event) };
    canvas.setPointerCapture?.(event.pointerId);
  });
  canvas.addEventListener('pointermove', (event) => {
    if (!press || event.pointerId !== press.id) return;
    const dx = event.clientX - press.x, dy = event.clientY - press.y;
    if (!press.axis && Math.hypot(dx, dy) > SLOP) press.axis = Math.abs(dy) >= Math.abs(dx) ? 'vertical' : 'horizontal';
    if (press.axis !== 'vertical') return;
    // Finger up: the list moves up, towards its end.
    const lines = Math.trunc(-dy / cellSize()[1]);
    if (lines !== press.lines) {
      send(KIND.scroll, press.cell[0], press.cell[1], lines - press.lines);
      press.lines = lines;
    }
  });
  const release = (event, cancelled) => {
    if (!press || event.pointerId !== press.id) return;
    const done = press;
    press = null;
    if (cancelled) return;
    gesture(event);
    if (!done.axis) {
      send(KIND.click, done.cell[0], done.cell[1], 0);
    } else if (done.axis === 'horizontal') {
      const columns = Math.trunc((event.clientX - done.x) / cellSize()[0]);
      if (columns !== 0) send(KIND.swipe, done.cell[0], done.cell[1], columns);
    }
  };
  canvas.addEventListener('pointerup', (event) => release(event, false));
  canvas.addEventListener('pointercancel', (event) => release(event, true));

  let wheelPixels = 0;
  canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    const [column, row] = cellOf(event);
    // Lines (deltaMode 1) as they are; pages (2) as a page of the list;
    // pixels three lines per wheel step, the rest kept for the next event.
    if (event.deltaMode === 1) { send(KIND.scroll, column, row, Math.trunc(event.deltaY)); return; }
    if (event.deltaMode === 2) { send(KIND.scroll, column, row, Math.trunc(event.deltaY) * 12); return; }
    wheelPixels += event.deltaY;
    const lines = Math.trunc((wheelPixels * 3) / WHEEL_PIXELS);
    if (lines !== 0) {
      wheelPixels -= (lines * WHEEL_PIXELS) / 3;
      send(KIND.scroll, column, row, lines);
    }
  }, { passive: false });
}
