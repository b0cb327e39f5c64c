// The simulator page in headless Chromium: the window's layout, the display
// against the headless runner's frames, the knob, keyboard, wheel and track
// bar, and the lamp of an expired timer. After the first ON the tests keep
// the page's clock paused and step it, so virtual time moves only when they
// say so.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import * as web from "./support.mjs";

let server, browser, page, problems;

before(async () => {
  let url;
  ({ server, url } = await web.startServer());
  browser = await web.launchBrowser();
  ({ page, problems } = await web.openPage(browser, url));
});

after(async () => {
  await browser?.close();
  server?.kill();
});

// Clicks a control, then lets two passes run so the instrument has taken the
// key and drawn the result.
async function press(id) {
  await page.click(`#${id}`);
  await web.step(page, 2);
}

async function expectRunnerFrame(inputs) {
  const now = await web.pageUtc(page);
  web.expectSameAsRunner(await web.canvasPixels(page), web.referenceFrames(now - 5, inputs), now);
}

test("the page lays out the window's controls, with a blank display and the red lamp", async () => {
  const boxes = await page.evaluate(() => {
    const form = document.getElementById("Form1").getBoundingClientRect();
    const out = {};
    for (const id of ["Image2", "Label15", "Shape1", "Image3", "Image5", "Image6", "Label11", "Button1", "Button2",
      "TrackBar6", "StatusBar1", "Panel1", "Image1", "CheckBox2Box", "CheckBox3Box", "Button3", "Button4"]) {
      const r = document.getElementById(id).getBoundingClientRect();
      out[id] = [r.left - form.left, r.top - form.top, r.width, r.height];
    }
    out.Form1 = [0, 0, form.width, form.height];
    out.captions = ["Button1", "Button2", "Button3", "Button4", "Label11", "Label15", "CheckBox2Box", "CheckBox3Box"]
      .map((id) => document.getElementById(id).textContent.trim());
    return out;
  });
  assert.deepEqual(boxes, {
    Form1: [0, 0, 621, 404],
    Image2: [0, 0, 310, 310],
    Label15: [384, 16, 24, 13],
    Shape1: [143, 17, 23, 23],
    Image3: [65, 235, 49, 49],
    Image5: [130, 246, 49, 49],
    Image6: [197, 234, 49, 49],
    Label11: [352, 16, 22, 13],
    Button1: [24, 328, 129, 49],
    Button2: [176, 328, 137, 49],
    TrackBar6: [416, 8, 201, 33],
    StatusBar1: [0, 385, 621, 19],
    Panel1: [39, 91, 231, 135],
    Image1: [40, 92, 229, 133],
    CheckBox2Box: [360, 56, 97, 17],
    CheckBox3Box: [472, 56, 97, 17],
    Button3: [1, 285, 56, 25],
    Button4: [235, 287, 75, 25],
    captions: ["ON", "OFF", "Clockwise", "AntiClockwise", "OAT", "2048", "Calibrate", "KeyFast"],
  });
  const blank = new Array(114 * 64).fill(0);
  assert.equal(web.compareCanvas(await web.canvasPixels(page), blank), null);
  assert.equal(await web.lamp(page), web.LAMP_BRIGHT);
});

test("ON plays the splash and shows the home page that tmx5 run draws", async () => {
  await web.setUtc(page, "2026-06-21 14:30:00");
  await page.click("#Button1");
  // The first main-loop pass darkens the lamp.
  await page.waitForFunction((dark) => getComputedStyle(document.getElementById("Shape1")).backgroundColor === dark,
    {}, web.LAMP_DARK);
  await web.pause(page);
  const now = await web.pageUtc(page);
  assert.ok(now >= Date.UTC(2026, 5, 21, 14, 30, 1) / 1000, "the clock panel's UTC holds and runs on");
  await expectRunnerFrame([]);
});

test("Clockwise turns to the stopwatch page", async () => {
  await press("Button3");
  await expectRunnerFrame(["key cw"]);
});

test("the track bar sets Label15 and the OAT page; keyboard and wheel turn the knob", async () => {
  const bar = await (await page.$("#TrackBar6")).boundingBox();
  await page.mouse.click(bar.x + bar.width - 1, bar.y + bar.height / 2); // the top of its range
  await web.step(page, 2);
  const position = await page.$eval("#TrackBar6", (e) => e.value);
  assert.equal(position, "4096");
  assert.equal(await page.$eval("#Label15", (e) => e.textContent), position);

  // A click on the face takes the keyboard back from the track bar.
  await page.click("#Image2");
  await page.keyboard.press("ArrowRight"); // timer page
  await web.step(page, 2);
  const face = await (await page.$("#Image2")).boundingBox();
  await page.mouse.move(face.x + 155, face.y + 60);
  await page.mouse.wheel({ deltaY: -100 }); // alarm page
  await web.step(page, 2);
  await press("Button3"); // OAT page
  assert.equal(await page.$eval("#TrackBar6", (e) => e.value), position, "the arrow key reached the knob");
  await expectRunnerFrame(["key cw", `sensor ${position}`, "key cw", "key cw", "key cw"]);
});

test("a loaded timer runs down, expires and the lamp flashes bright and dark", async () => {
  // To the timer page, then set the preset to 2 s in the main menu.
  for (const id of ["Button4", "Button4", "Image5", "Button3", "Button3", "Image5", "Image5", "Image5", "Button3",
    "Button3", "Image5", "Button4", "Button4", "Image5"])
    await press(id);
  await press("Image6"); // LOAD
  await press("Image3"); // START
  const samples = [];
  for (let i = 0; i < 130; i++) { // 60 ms apart, 7.8 s
    await web.step(page, 3);
    samples.push(await web.lamp(page));
  }
  const firstBright = samples.indexOf(web.LAMP_BRIGHT);
  assert.ok(firstBright >= 25, `the lamp stays dark while the timer runs (bright at sample ${firstBright})`);
  assert.ok(samples.every((c) => c === web.LAMP_BRIGHT || c === web.LAMP_DARK), samples.join(" "));
  // After the expiry: runs of 600 ms (10 samples) of each colour in turn.
  const runs = [];
  for (const c of samples.slice(firstBright)) {
    if (runs.length && runs[runs.length - 1].colour === c) runs[runs.length - 1].length++;
    else runs.push({ colour: c, length: 1 });
  }
  runs.pop(); // the run the samples end in
  assert.ok(runs.length >= 4, `the lamp flashes: ${JSON.stringify(runs)}`);
  for (const r of runs) assert.ok(r.length >= 9 && r.length <= 11, `600 ms each: ${JSON.stringify(runs)}`);
});

test("ON while running restarts, ON during the splash is ignored, OFF keeps the picture", async () => {
  await page.click("#Button1"); // restart: defaults, the splash again, the timer stopped
  await web.step(page, 20);
  await page.click("#Button1"); // during the splash: ignored, so the splash ends on time
  await web.step(page, 62);
  await expectRunnerFrame([]);
  assert.equal(await web.lamp(page), web.LAMP_DARK);

  await page.click("#Button2");
  await web.step(page, 1);
  const last = await web.canvasPixels(page);
  await web.step(page, 50);
  assert.ok(last.equals(await web.canvasPixels(page)), "after OFF the display keeps the last frame");
  await page.click("#Button1"); // from off, through the host's idle loop
  await web.step(page, 90);
  await expectRunnerFrame([]);
});

test("the page loaded everything and raised no error", () => {
  assert.deepEqual(problems, []);
});
