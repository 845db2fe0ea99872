// The screens with a mouse and with a finger in the page: a click or tap
// on a row of the list puts the bar there, a second one (or a double
// click) opens it; on the player screen a click or tap pauses and resumes,
// the wheel seeks. The page's list begins at the bundled songs: no parent
// entry and none of the rest of the page's file system.
//
// Environment: PLAYTUN_WEB (the built page).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { serve, launch, openPage } from './browser.mjs';

const web = process.env.PLAYTUN_WEB;
let server, url;
before(async () => { ({ server, url } = await serve(web)); });
after(() => server?.close());

const screenText = (page) => page.evaluate(() => window.playtun.screenText());

// The middle of a cell in page coordinates, from where the canvas lies now.
async function cellPoint(page, column, row) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return { left: b.left, top: b.top, width: b.width, height: b.height };
  });
  return { x: r.left + ((column + 0.5) * r.width) / 80, y: r.top + ((row + 0.5) * r.height) / 50 };
}

async function shownSeconds(page) {
  const row = (await screenText(page))[1];
  const m = row.slice(69, 74).match(/^(\d\d):(\d\d)$/);
  assert.ok(m, `no position on the Playing line: "${row}"`);
  return Number(m[1]) * 60 + Number(m[2]);
}

// The list row (screen row) whose text holds the caption, once it is drawn.
async function rowOf(page, caption) {
  const find = (lines) => lines.findIndex((line, r) => r >= 2 && line.trim() === caption);
  await page.waitForFunction((c) => window.playtun.screenText().some((l, r) => r >= 2 && l.trim() === c), caption,
    { timeout: 2000 }).catch(() => {});
  const row = find(await screenText(page));
  assert.ok(row >= 2, `${caption} is not listed: ${(await screenText(page)).slice(2, 10).join('|')}`);
  return row;
}

// The ways to act on a cell: a mouse on a desktop-sized page, a finger on
// a touch screen.
const pointers = {
  mouse: {
    options: {},
    click: async (page, column, row) => { const p = await cellPoint(page, column, row); await page.mouse.click(p.x, p.y); },
    double: async (page, column, row) => { const p = await cellPoint(page, column, row); await page.mouse.dblclick(p.x, p.y); },
  },
  touch: {
    options: { hasTouch: true, isMobile: true, viewport: { width: 390, height: 844 } },
    click: async (page, column, row) => { const p = await cellPoint(page, column, row); await page.touchscreen.tap(p.x, p.y); },
    double: async (page, column, row) => {
      const p = await cellPoint(page, column, row);
      await page.touchscreen.tap(p.x, p.y);
      await page.touchscreen.tap(p.x, p.y);
    },
  },
};

for (const [name, pointer] of Object.entries(pointers)) {
  test(`${name}: a row picked twice plays, a double ${name === 'mouse' ? 'click' : 'tap'} enters a folder and plays, the screen pauses`, async () => {
    const browser = await launch(pointer.options);
    try {
      const { page, errors } = await openPage(browser, url);
      const lullaby = await rowOf(page, 'lullaby.tun');
      await pointer.click(page, 40, lullaby);  // the bar goes there
      await page.waitForTimeout(200);
      assert.equal(await page.evaluate(() => window.playtun.mode()), 'selector');
      await page.waitForTimeout(500);  // no double: a second, separate pick
      await pointer.click(page, 40, lullaby);
      await page.waitForFunction(() => window.playtun.mode() === 'player', null, { timeout: 5000 });
      assert.match((await screenText(page))[1], /^Playing lullaby\.tun /);
      await page.waitForFunction(() => window.playtun.audioState() === 'running', null, { timeout: 5000 });
      const start = await shownSeconds(page);
      await page.waitForTimeout(2300);
      assert.ok(await shownSeconds(page) >= start + 2, 'the position does not advance');

      await pointer.click(page, 40, 30);
      await page.waitForFunction(() => window.playtun.screenText()[1].startsWith('Paused '), null, { timeout: 2000 });
      const paused = await shownSeconds(page);
      await page.waitForTimeout(1200);
      assert.equal(await shownSeconds(page), paused, 'the position moved while paused');
      await page.waitForTimeout(500);
      await pointer.click(page, 40, 30);
      await page.waitForFunction(() => window.playtun.screenText()[1].startsWith('Playing '), null, { timeout: 2000 });

      // Escape back to the list; a double pick on a folder enters it, and one
      // on a song there plays it.
      await page.keyboard.press('Escape');
      await page.waitForFunction(() => window.playtun.mode() === 'selector');
      await pointer.double(page, 40, await rowOf(page, '<plain>'));
      await page.waitForFunction(() => window.playtun.screenText().some((l) => l.trim() === 'meadow.tun'), null, { timeout: 2000 });
      await page.waitForTimeout(500);
      await pointer.double(page, 40, await rowOf(page, 'meadow.tun'));
      await page.waitForFunction(() => window.playtun.mode() === 'player', null, { timeout: 5000 });
      assert.match((await screenText(page))[1], /^Playing meadow\.tun /);
      await page.waitForTimeout(500);
      assert.match((await screenText(page))[1], /^Playing /, 'the double pick also paused the song');
      assert.deepEqual(errors, []);
    } finally {
      await browser.close();
    }
  });
}

test('mouse: the wheel seeks the song a second per step', async () => {
  const browser = await launch();
  try {
    const { page, errors } = await openPage(browser, url);
    const meadowRow = await rowOf(page, '<plain>');
    await pointers.mouse.double(page, 40, meadowRow);
    await page.waitForTimeout(500);
    await pointers.mouse.double(page, 40, await rowOf(page, 'meadow.tun'));
    await page.waitForFunction(() => window.playtun.mode() === 'player' && window.playtun.audioState() === 'running');
    const p = await cellPoint(page, 40, 30);
    await page.mouse.move(p.x, p.y);
    const before = await shownSeconds(page);
    for (let i = 0; i < 10; ++i) await page.mouse.wheel(0, 100);
    await page.waitForTimeout(300);
    const later = await shownSeconds(page);
    assert.ok(later >= before + 9 && later <= before + 12, `ten wheel steps: ${before} -> ${later} s`);
    for (let i = 0; i < 10; ++i) await page.mouse.wheel(0, -100);
    await page.waitForTimeout(300);
    const back = await shownSeconds(page);
    assert.ok(back >= before - 1 && back <= before + 3, `ten steps back: ${later} -> ${back} s`);
    assert.deepEqual(errors, []);
  } finally {
    await browser.close();
  }
});

test('the page\'s list begins at the bundled songs: Return on its top entry shows no <dev>, <proc> or <tmp>', async () => {
  const browser = await launch();
  try {
    const { page } = await openPage(browser, url);
    const outside = (lines) => lines.filter((l) => ['<dev>', '<proc>', '<tmp>', '<home>'].includes(l.trim()));
    const top = await screenText(page);
    assert.equal(top[2].trim(), '<chip>', 'the first entry of the bundled songs');
    assert.ok(!top.some((l) => l.trim() === '<..>'), 'the bundled songs list a parent');
    await page.focus('#screen');
    // Return on the top entry, then on the top entry of what that shows:
    // into songs/chip and back up through its "..".
    for (const step of ['into the top entry', 'back through its parent entry']) {
      await page.keyboard.press('Home');
      await page.keyboard.press('Enter');
      await page.waitForTimeout(200);
      assert.deepEqual(outside(await screenText(page)), [], step);
    }
    assert.equal((await screenText(page))[2].trim(), '<chip>');
  } finally {
    await browser.close();
  }
});
