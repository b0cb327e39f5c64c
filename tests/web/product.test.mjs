// The page as a visitor uses it beyond the window's controls: on a phone,
// by a shared link, with saved states and downloaded pictures, and the
// clock panel's own display. Each test opens its own page; after the first
// ON the clock is paused and stepped, so virtual time moves only when the
// test says so.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
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

const tmx5 = process.env.TMX5 || path.join(web.top, "build/host/tmx5");

// ON at a fixed UTC, paused, and the splash stepped through.
async function homePage(page, utc = "2026-06-21 14:30:00") {
  await web.setUtc(page, utc);
  await web.pause(page);
  await page.click("#Button1");
  await web.step(page, 130);
}

async function expectRunnerFrame(page, inputs) {
  const now = await web.pageUtc(page);
  web.expectSameAsRunner(await web.canvasPixels(page), web.referenceFrames(now - 5, inputs), now);
}

// Clicks a download button and returns what the page offered, as bytes.
async function download(page, id) {
  const before = await page.evaluate(() => Tmx5.downloads);
  await page.click(`#${id}`);
  await page.waitForFunction((n) => Tmx5.downloads > n, {}, before);
  const { name, b64 } = await page.evaluate(async () => {
    const d = Tmx5.lastDownload;
    const bytes = new Uint8Array(await d.blob.arrayBuffer());
    let s = "";
    for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return { name: d.name, b64: btoa(s) };
  });
  return { name, bytes: Buffer.from(b64, "base64") };
}

// Chromium's own decoder reads a picture: every frame's RGBA pixels and how
// long it shows (microseconds).
async function decodePicture(page, bytes, type) {
  return page.evaluate(async (b64, mime) => {
    const data = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const decoder = new ImageDecoder({ data, type: mime });
    await decoder.tracks.ready;
    await decoder.completed;
    const count = decoder.tracks.selectedTrack.frameCount;
    const frames = [];
    for (let i = 0; i < count; i++) {
      const { image } = await decoder.decode({ frameIndex: i });
      const canvas = new OffscreenCanvas(image.displayWidth, image.displayHeight);
      const c = canvas.getContext("2d");
      c.drawImage(image, 0, 0);
      const px = c.getImageData(0, 0, canvas.width, canvas.height).data;
      let s = "";
      for (let j = 0; j < px.length; j += 8192) s += String.fromCharCode(...px.subarray(j, j + 8192));
      frames.push({ width: canvas.width, height: canvas.height, duration: image.duration, rgba: btoa(s) });
      image.close();
    }
    return frames;
  }, bytes.toString("base64"), type).then((frames) =>
    frames.map((f) => ({ ...f, rgba: Buffer.from(f.rgba, "base64") })));
}

// The display's 114 x 64 pixels (1 lit) from the page's canvas.
function displayOf(canvas) {
  const out = [];
  for (let y = 0; y < 64; y++) for (let x = 0; x < 114; x++) out.push(canvas[(y * 2 * 229 + x * 2) * 4] === 0 ? 1 : 0);
  return out;
}

// A 2x picture must show exactly these display pixels, lit black on grey 200.
function expectPicture(picture, display, what) {
  assert.equal(picture.width, 228, what);
  assert.equal(picture.height, 128, what);
  let differ = 0;
  for (let y = 0; y < 128; y++) {
    for (let x = 0; x < 228; x++) {
      const want = display[(y >> 1) * 114 + (x >> 1)] ? 0 : 200;
      const i = (y * 228 + x) * 4;
      if (picture.rgba[i] !== want || picture.rgba[i + 1] !== want || picture.rgba[i + 2] !== want) differ++;
    }
  }
  assert.equal(differ, 0, `${what}: ${differ} pixels differ from the display`);
}

test("on a phone the page fits the screen, every control is a touch target and a swipe turns the knob", async () => {
  const { page, problems } = await web.openPage(browser, url, web.PHONE);
  const layout = await page.evaluate(() => {
    const small = [];
    for (const e of document.querySelectorAll("button, select, input, label.CheckBox, .ClickArea")) {
      if (e.closest("label.CheckBox") && e.tagName === "INPUT") continue; // the label is the target
      const r = e.getBoundingClientRect();
      if (r.width === 0 && r.height === 0) continue; // not shown
      if (r.width < 44 || r.height < 44) small.push(`${e.id || e.textContent.trim()} ${r.width}x${r.height}`);
    }
    const face = document.getElementById("Image2").getBoundingClientRect();
    return { small, scrollWidth: document.documentElement.scrollWidth, width: innerWidth, faceWidth: face.width };
  });
  assert.deepEqual(layout.small, [], "touch targets smaller than 44 x 44 px");
  assert.ok(layout.scrollWidth <= layout.width, `the page scrolls sideways: ${layout.scrollWidth} > ${layout.width}`);
  assert.ok(layout.faceWidth >= 350, `the face is ${layout.faceWidth} px wide on a 390 px screen`);

  await homePage(page);
  // A tap on MENU: the main menu. When the browser also makes a click of
  // the tap (as it may, later), the key still goes once.
  const menu = await (await page.$("#Image5")).boundingBox();
  await page.touchscreen.tap(menu.x + menu.width / 2, menu.y + menu.height / 2);
  await page.$eval("#Image5", (e) => e.dispatchEvent(new PointerEvent("click", { bubbles: true, pointerType: "touch" })));
  await web.step(page, 6);
  await expectRunnerFrame(page, ["key menu"]);

  const face = await (await page.$("#Image2")).boundingBox();
  // Each detent is one key, and the instrument takes one key every two
  // passes, as from a script.
  const swipe = async (from, to, detents) => {
    const y = face.y + face.height * 0.3;
    await page.touchscreen.touchStart(face.x + from, y);
    for (let i = 1; i <= 8; i++) await page.touchscreen.touchMove(face.x + from + ((to - from) * i) / 8, y);
    await page.touchscreen.touchEnd();
    await web.step(page, 2 * detents);
  };
  // The face is drawn larger than 310 px: a detent is 30 px of the face's
  // own picture, about 36 CSS px here.
  const px = face.width / 310;
  await swipe(60, 60 + 75 * px, 2); // two detents to the right: clockwise twice
  await expectRunnerFrame(page, ["key menu", "key cw", "key cw"]);
  await swipe(250, 250 - 40 * px, 1); // one to the left: anticlockwise
  await expectRunnerFrame(page, ["key menu", "key cw", "key cw", "key ccw"]);
  // Right after a swipe the browser makes no click of a tap; the key goes.
  await page.touchscreen.tap(menu.x + menu.width / 2, menu.y + menu.height / 2);
  await web.step(page, 2);
  await expectRunnerFrame(page, ["key menu", "key cw", "key cw", "key ccw", "key menu"]);
  assert.deepEqual(problems, []);
  await page.close();
});

test("a shared link opens the same frame and state in a fresh page; a damaged or foreign link is refused", async () => {
  const { page, problems: firstProblems } = await web.openPage(browser, url);
  // During the splash there is no state to share: the page says so.
  await web.setUtc(page, "2026-06-21 14:30:00");
  await web.pause(page);
  await page.click("#Button1");
  await web.step(page, 20);
  await page.click("#Share");
  await page.waitForFunction(() => !document.getElementById("Notice").hidden);
  assert.match(await page.$eval("#Notice", (e) => e.textContent), /splash/);
  assert.equal(await page.$eval("#ShareLink", (e) => e.value), "");
  await web.step(page, 110);
  for (const id of ["Button3", "Button3"]) {
    await page.click(`#${id}`);
    await web.step(page, 2);
  }
  await page.$eval("#TrackBar6", (e) => { e.value = "3000"; e.dispatchEvent(new Event("input")); });
  await page.click("#CheckBox3");
  await web.step(page, 40);
  await page.select("#SimSpeed", "60");
  await page.click("#Share");
  await page.waitForFunction(() => document.getElementById("ShareLink").value.includes("#"));
  const link = await page.$eval("#ShareLink", (e) => e.value);
  assert.match(link, /#tmx5-1\.60\.1\.\d+\.[0-9a-f]{8}\.[A-Za-z0-9_-]+$/);
  const state = await page.evaluate(() => Tmx5.captureState());
  const pixels = await web.canvasPixels(page);

  const { page: other, problems } = await web.openPage(browser, link);
  await web.settled(other);
  assert.ok(pixels.equals(await web.canvasPixels(other)), "the link shows the same frame");
  assert.equal(await other.evaluate(() => Tmx5.captureState()), state, "the link holds the same state");
  assert.equal(await other.$eval("#SimPause", (e) => e.textContent), "Resume", "the link keeps the clock paused");
  assert.equal(await other.$eval("#SimSpeed", (e) => e.value), "60");
  assert.equal(await other.$eval("#Label15", (e) => e.textContent), "3000");
  assert.equal(await other.$eval("#CheckBox3", (e) => e.checked), true);
  assert.equal(await other.$eval("#Notice", (e) => e.hidden), true);
  // Both run on alike: the instrument went on from where it was.
  for (const p of [page, other]) {
    await p.bringToFront();
    await p.click("#Button4");
    await web.step(p, 120);
  }
  assert.ok((await web.canvasPixels(page)).equals(await web.canvasPixels(other)), "the two pages ran on alike");
  assert.deepEqual(problems, []);
  assert.deepEqual(firstProblems, []);
  await other.close();

  const [head, payload] = [link.slice(0, link.lastIndexOf(".") + 1), link.slice(link.lastIndexOf(".") + 1)];
  const middle = payload.length >> 1;
  const damaged = head + payload.slice(0, middle) + (payload[middle] === "A" ? "B" : "A") + payload.slice(middle + 1);
  for (const [bad, says] of [[damaged, /damaged/], [head + payload.slice(0, -6), /damaged/],
    [link.replace("#tmx5-1.", "#tmx5-2."), /another version/]]) {
    const { page: fresh } = await web.openPage(browser, bad);
    await web.settled(fresh);
    const notice = await fresh.$eval("#Notice", (e) => (e.hidden ? "" : e.textContent));
    assert.match(notice, says, `${bad.slice(-40)}: the page says so`);
    assert.match(notice, /starts afresh/);
    assert.equal(web.compareCanvas(await web.canvasPixels(fresh), new Array(114 * 64).fill(0)), null,
      "a refused link starts with a blank display");
    assert.match(await fresh.evaluate(() => Tmx5.captureState()), /^PowerState 0$/m);
    await fresh.close();
  }
  await page.close();
});

test("the PNG and GIF downloads show the display, and a saved state loads in tmx5 run and back in the page", async () => {
  const { page } = await web.openPage(browser, url);
  await homePage(page);
  const png = await download(page, "DownloadPng");
  assert.match(png.name, /^tmx5-20260621-1430\d\d\.png$/);
  const [picture] = await decodePicture(page, png.bytes, "image/png");
  expectPicture(picture, displayOf(await web.canvasPixels(page)), "the PNG");

  // Five more seconds, then the animation: one frame per second shown, each
  // as long as the display showed it.
  await page.click("#Button3"); // the stopwatch page, whose frame differs
  await web.step(page, 250);
  const gif = await download(page, "DownloadGif");
  assert.match(gif.name, /\.gif$/);
  const frames = await decodePicture(page, gif.bytes, "image/gif");
  assert.ok(frames.length >= 6, `${frames.length} frames in the GIF`);
  expectPicture(frames[frames.length - 1], displayOf(await web.canvasPixels(page)), "the GIF's last frame");
  const total = frames.reduce((sum, f) => sum + f.duration, 0) / 1000;
  assert.ok(total >= 7500 && total <= 8500, `the GIF lasts ${total} ms, not the 7.6 s of virtual time since ON`);
  const seconds = frames.slice(1, -1).filter((f) => f.duration === 1000000).length;
  assert.ok(seconds >= 3, `frames that each show one second: ${seconds} of ${frames.length}`);

  // The saved state is the runner's format: tmx5 run loads it and shows the
  // same frame; and the page loads it back from a file.
  const saved = await download(page, "SaveState");
  assert.match(saved.name, /\.state$/);
  const dir = mkdtempSync(path.join(tmpdir(), "tmx5-web-state-"));
  try {
    writeFileSync(path.join(dir, "page.state"), saved.bytes);
    writeFileSync(path.join(dir, "load.tmx"), "load-state page.state\nsnap loaded.pbm\nexpect HomePage 1\n");
    execFileSync(tmx5, ["run", path.join(dir, "load.tmx")], { encoding: "utf8" });
    const words = readFileSync(path.join(dir, "loaded.pbm"), "utf8").split(/\s+/).filter(Boolean);
    assert.deepEqual(words.slice(3).join("").split("").map(Number), displayOf(await web.canvasPixels(page)),
      "tmx5 run shows the saved state's frame");

    const { page: other } = await web.openPage(browser, url);
    await web.pause(other);
    const [chooser] = await Promise.all([other.waitForFileChooser(), other.click("#LoadState")]);
    await Promise.all([other.waitForNavigation(), chooser.accept([path.join(dir, "page.state")])]);
    await other.waitForFunction(() => typeof Tmx5 !== "undefined" && Tmx5.isStarted);
    await web.settled(other);
    assert.equal(await other.evaluate(() => Tmx5.captureState()), saved.bytes.toString("utf8"));
    assert.ok((await web.canvasPixels(page)).equals(await web.canvasPixels(other)), "the loaded state's frame");
    await other.close();
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
  await page.close();
});

test("the clock panel follows the clock in ISO UTC until edited, with the window's names and a badge", async () => {
  const { page } = await web.openPage(browser, url);
  await homePage(page, "2026-06-21 23:59:58");
  const field = () => page.$eval("#SimUtcInput", (e) => e.value);
  const badge = () => page.$eval("#Badge", (e) => e.textContent);
  await web.step(page, 100);
  assert.match(await field(), /^2026-06-22 00:00:0\d$/, "24-hour UTC, following the clock");
  assert.equal(await badge(), "PAUSED");
  assert.deepEqual(await page.$$eval("#SimPanel button, #SimSpeed option", (l) => l.map((e) => e.textContent.trim())),
    ["Set UTC", "Resume", "Step one pass", "Step one second", "1x", "10x", "60x", "600x", "Fastest"]);
  const before = await web.pageUtc(page);
  await page.click("#SimStepSecond");
  await web.settled(page);
  assert.equal(await web.pageUtc(page), before + 1, "Step one second");

  await page.$eval("#SimUtcInput", (e) => { e.value = "2026-07-01 08:00:00"; e.dispatchEvent(new Event("input")); });
  await web.step(page, 100);
  assert.equal(await field(), "2026-07-01 08:00:00", "an edited field stays as typed");
  await page.click("#SimSetUtc");
  await web.step(page, 3);
  assert.match(await page.$eval("#SimUtc", (e) => e.value), /^2026-07-01 08:00:00 UTC$/);

  await page.select("#SimSpeed", "600");
  await page.click("#SimPause");
  assert.equal(await badge(), "600x");
  const box = await page.$eval("#Badge", (e) => {
    const b = e.getBoundingClientRect(), d = document.getElementById("Panel1").getBoundingClientRect();
    return b.right <= d.left || b.left >= d.right || b.bottom <= d.top || b.top >= d.bottom;
  });
  assert.ok(box, "the badge is not on the display");
  await page.close();
});

test("a session recorded in the page replays in tmx5 run to the same state", async () => {
  const { page } = await web.openPage(browser, url);
  await web.setUtc(page, "2026-06-21 14:30:00");
  await page.select("#SimSpeed", "10");
  await page.$eval("#TrackBar6", (e) => { e.value = "2500"; e.dispatchEvent(new Event("input")); });
  await page.click("#Record");
  // At ten times real time, with the page's own pacing: ON, the splash,
  // then the knob, the menu key and the track bar while the clock runs.
  await page.click("#Button1");
  await page.waitForFunction((dark) => getComputedStyle(document.getElementById("Shape1")).backgroundColor === dark,
    {}, web.LAMP_DARK);
  for (const id of ["Button3", "Button3", "Image5", "Button4"]) {
    await page.click(`#${id}`);
    await new Promise((resolve) => setTimeout(resolve, 150));
  }
  await page.$eval("#TrackBar6", (e) => { e.value = "3900"; e.dispatchEvent(new Event("input")); });
  await new Promise((resolve) => setTimeout(resolve, 300));
  const tmx = await download(page, "Record");
  assert.match(tmx.name, /^session-.*\.tmx$/);
  const script = tmx.bytes.toString("utf8");
  assert.match(script, /^utc 2026-06-21 14:30:0\d; sensor 2500$/m);
  assert.match(script, /^on$/m);
  assert.match(script, /^expect FrameBuffer\[\d+\] \d+$/m);
  const dir = mkdtempSync(path.join(tmpdir(), "tmx5-web-record-"));
  try {
    writeFileSync(path.join(dir, "session.tmx"), script);
    // Exit 0: every closing expectation held (else execFileSync throws).
    execFileSync(tmx5, ["run", path.join(dir, "session.tmx")], { encoding: "utf8" });
    if (process.env.TMX5_SHOW_RECORDING) console.log(script);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
  await page.close();
});
