// Going back and forward in the page: the buttons and the timeline of the
// clock panel travel through the session the host keeps, and the page shows
// what it showed then, pixel for pixel and value for value.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import * as web from "./support.mjs";

let server, browser, url;

before(async () => {
  ({ server, url } = await web.startServer());
  browser = await web.launchBrowser();
});

after(async () => {
  await browser?.close();
  server?.kill();
});

// What the page shows and holds now.
async function moment(page) {
  await web.settled(page);
  return {
    canvas: await web.canvasPixels(page),
    utc: await web.pageUtc(page),
    state: await page.evaluate(() => Tmx5.captureState()),
    point: await page.evaluate(() => Tmx5.session.point),
  };
}

async function press(page, id) {
  await page.click(`#${id}`);
  await web.settled(page);
}

function expectSame(now, then, what) {
  assert.ok(now.canvas.equals(then.canvas), `${what}: the frame`);
  assert.equal(now.utc, then.utc, `${what}: the clock`);
  assert.equal(now.state, then.state, `${what}: the state`);
}

test("back one second shows the frame tmx5 run draws one second earlier, and forward comes back", async () => {
  const { page, problems } = await web.openPage(browser, url);
  await web.setUtc(page, "2026-06-21 14:30:00");
  await web.pause(page);
  await page.click("#Button1");
  await web.step(page, 200);
  const earlier = await moment(page);
  await web.step(page, 10);
  await page.click("#Button3"); // Clockwise: the second home page, within the second
  await web.step(page, 40);
  const later = await moment(page);
  assert.ok(!earlier.canvas.equals(later.canvas), "the display changed in that second");
  assert.match(later.state, /^HomePage 1$/m);

  await press(page, "BackSecond");
  const back = await moment(page);
  expectSame(back, earlier, "back one second");
  assert.equal(back.point, earlier.point);
  web.expectSameAsRunner(back.canvas, web.referenceFrames(earlier.utc - 5, []), earlier.utc);

  await press(page, "ForwardSecond");
  expectSame(await moment(page), later, "forward one second");
  await press(page, "BackPass");
  assert.equal((await moment(page)).point, later.point - 1);
  await press(page, "ForwardPass");
  expectSame(await moment(page), later, "back and forward one pass");

  // Going on from the past delivers the same inputs again: the same second.
  await press(page, "BackSecond");
  await web.step(page, 50);
  expectSame(await moment(page), later, "stepping on from a second back");

  // A new input there cuts the old future.
  await press(page, "BackSecond");
  const end = (await page.evaluate(() => Tmx5.session)).end;
  await page.click("#Button4"); // AntiClockwise instead
  await web.step(page, 10);
  assert.doesNotMatch(await page.evaluate(() => Tmx5.captureState()), /^HomePage [01]$/m);
  assert.ok((await page.evaluate(() => Tmx5.session)).end < end, "the old future is gone");
  assert.deepEqual(problems, []);
  await page.close();
});

test("the timeline goes back into the splash and the instrument runs on from there as it did", async () => {
  const { page, problems } = await web.openPage(browser, url);
  await web.setUtc(page, "2026-06-21 14:30:00");
  await web.pause(page);
  await page.click("#Button1");
  await web.step(page, 40);
  const splash = await web.canvasPixels(page);
  const splashPoint = await page.evaluate(() => Tmx5.session.point);
  await web.step(page, 110);
  const home = await moment(page);

  await page.$eval("#Timeline", (t, p) => {
    t.value = String(p);
    t.dispatchEvent(new Event("change"));
  }, splashPoint);
  await web.settled(page);
  assert.equal(await page.evaluate(() => Tmx5.session.point), splashPoint);
  assert.ok((await web.canvasPixels(page)).equals(splash), "the splash frame of that pass");
  await web.step(page, 110);
  expectSame(await moment(page), home, "running on from the splash");
  assert.deepEqual(problems, []);
  await page.close();
});
