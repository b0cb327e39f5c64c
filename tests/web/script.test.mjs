// The Script panel: a scenario typed into the page runs with the runner of
// tmx5 run itself. Each test runs the same script with tmx5 run in a
// folder of its own and holds the page to what the command printed and
// wrote; the page then goes on from where the script ended.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
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

// tmx5 run SCRIPT in a fresh folder holding the given files; returns its
// exit code, output, error output and the folder (removed by the caller).
function runnerRun(script, files = {}) {
  const dir = mkdtempSync(path.join(tmpdir(), "tmx5-web-script-"));
  for (const [name, bytes] of Object.entries(files)) writeFileSync(path.join(dir, name), bytes);
  writeFileSync(path.join(dir, "script.tmx"), script);
  const r = spawnSync(tmx5, ["run", "script.tmx"], { cwd: dir, encoding: "utf8" });
  return { code: r.status, out: r.stdout, err: r.stderr, dir };
}

// Puts the script (and the files it reads) into the panel and runs it. A
// script that runs reloads the page from the state it ended in; one that is
// refused leaves the page as it was.
async function runInPage(page, script, files = {}, { reloads = true } = {}) {
  await page.$eval("#ScriptText", (e, v) => { e.value = v; }, script);
  await page.evaluate((list) => Tmx5.setScriptFiles(list.map(([name, b64]) => ({
    name, bytes: Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)),
  }))), Object.entries(files).map(([name, bytes]) => [name, Buffer.from(bytes).toString("base64")]));
  if (reloads) {
    await Promise.all([page.waitForNavigation(), page.click("#RunScript")]);
    await page.waitForFunction(() => typeof Tmx5 !== "undefined" && Tmx5.isStarted);
    await web.settled(page);
  } else {
    await page.click("#RunScript");
  }
  const result = await page.$eval("#ScriptResult", (e) => e.textContent);
  const offered = await page.evaluate(() => Tmx5.scriptFiles.map((f) => [f.name, btoa(String.fromCharCode(...f.bytes))]));
  const notMade = await page.$$eval("#ScriptFiles span", (s) => s.map((e) => e.textContent));
  return { result, files: Object.fromEntries(offered.map(([n, b]) => [n, Buffer.from(b, "base64")])), notMade };
}

// The display's 114 x 64 pixels (1 lit) from the page's canvas.
function displayOf(canvas) {
  const out = [];
  for (let y = 0; y < 64; y++) for (let x = 0; x < 114; x++) out.push(canvas[(y * 2 * 229 + x * 2) * 4] === 0 ? 1 : 0);
  return out;
}

function pbmPixels(bytes) {
  return bytes.toString("utf8").split(/\s+/).filter(Boolean).slice(3).join("").split("").map(Number);
}

const STOPWATCH = [
  "# to the second home page, snapped and saved",
  "utc 2026-06-21 14:30:00",
  "on",
  "wait 3s",
  "key cw",
  "snap stopwatch.pbm",
  "save-state here.state",
  "print ScreenHandler UtcTime.Second",
].join("\n") + "\n";

test("a passing script prints what tmx5 run prints, offers its files, and the page goes on from its end", async () => {
  const native = runnerRun(STOPWATCH);
  try {
    assert.equal(native.code, 0, native.err);
    const { page, problems } = await web.openPage(browser, url);
    await web.pause(page);
    const got = await runInPage(page, STOPWATCH);
    assert.equal(got.result, native.out + native.err + "1 passed, 0 failed\n");
    assert.deepEqual(Object.keys(got.files).sort(), ["here.state", "stopwatch.pbm"]);
    for (const name of ["here.state", "stopwatch.pbm"])
      assert.ok(got.files[name].equals(readFileSync(path.join(native.dir, name))), `${name} as tmx5 run writes it`);
    // The page shows the script's last frame and holds its state, still paused.
    assert.deepEqual(displayOf(await web.canvasPixels(page)), pbmPixels(got.files["stopwatch.pbm"]));
    assert.equal(await page.evaluate(() => Tmx5.captureState()), got.files["here.state"].toString("utf8"));
    assert.equal(await page.$eval("#SimPause", (b) => b.textContent), "Resume");
    // and runs on from the script's clock.
    const utcMs = Number(/^HostUtcMs (\d+)$/m.exec(got.files["here.state"].toString("utf8"))[1]);
    assert.equal(await web.pageUtc(page), Math.floor(utcMs / 1000));
    await web.step(page, 50);
    assert.equal(await web.pageUtc(page), Math.floor(utcMs / 1000) + 1);
    assert.equal(await page.$eval("#ScriptText", (e) => e.value), STOPWATCH);
    assert.deepEqual(problems, []);
    await page.close();
  } finally {
    rmSync(native.dir, { recursive: true, force: true });
  }
});

test("a failed expectation and a bad line end the result in their FILE:LINE message", async () => {
  const { page, problems } = await web.openPage(browser, url);
  await web.pause(page);

  const failing = "utc 2026-06-21 14:30:00\non\nwait 3s\nexpect ScreenHandler MainMenuScreen\nkey cw\n";
  const native = runnerRun(failing);
  rmSync(native.dir, { recursive: true, force: true });
  assert.equal(native.code, 1);
  const failed = await runInPage(page, failing);
  assert.equal(failed.result, native.out + "0 passed, 1 failed\n" + native.err);
  assert.match(failed.result, /\nscript\.tmx:4: [^\n]+\n$/);
  // The page stands at the failing line: the home page, not the menu.
  assert.match(await page.evaluate(() => Tmx5.captureState()), /^ScreenHandler HomeScreen$/m);

  // A bad line: nothing runs, the page is not reloaded, its clock is as it was.
  const before = await page.evaluate(() => Tmx5.captureState());
  const bad = "on\nwait 2s\nkey sideways\n";
  const nativeBad = runnerRun(bad);
  rmSync(nativeBad.dir, { recursive: true, force: true });
  assert.equal(nativeBad.code, 2);
  const refused = await runInPage(page, bad, {}, { reloads: false });
  assert.equal(refused.result, "0 passed, 0 failed, 1 bad\n" + nativeBad.err);
  assert.match(refused.result, /\nscript\.tmx:3: [^\n]+\n$/);
  assert.equal(await page.evaluate(() => Tmx5.captureState()), before);

  // Pictures and movies are not made in the page; the script says where.
  const pictures = await runInPage(page, "on\nwait 2s\nsnap home.pbm\nsnap home.png\nmovie m.gif\n", {},
    { reloads: false });
  assert.equal(pictures.result, "0 passed, 0 failed, 1 bad\n" +
    "script.tmx:4: PNG/GIF files are not written in the page; use .pbm or the download buttons\n" +
    "script.tmx:5: PNG/GIF files are not written in the page; use .pbm or the download buttons\n");
  assert.deepEqual(problems, []);
  await page.close();
});

test("load-state and expect-frame read the files the user picked", async () => {
  const native = runnerRun(STOPWATCH);
  try {
    const picked = {
      "here.state": readFileSync(path.join(native.dir, "here.state")),
      "stopwatch.pbm": readFileSync(path.join(native.dir, "stopwatch.pbm")),
    };
    const { page, problems } = await web.openPage(browser, url);
    await web.pause(page);
    const resumed = "load-state here.state\nexpect-frame stopwatch.pbm\nwait 1s\nexpect HomePage 1\n";
    const ok = await runInPage(page, resumed, picked);
    const nativeOk = runnerRun(resumed, picked);
    rmSync(nativeOk.dir, { recursive: true, force: true });
    assert.equal(nativeOk.code, 0, nativeOk.err);
    assert.equal(ok.result, nativeOk.out + nativeOk.err + "1 passed, 0 failed\n");
    assert.deepEqual(Object.keys(ok.files), [], "the picked files are not offered back");

    // Against the wrong reference the runner's frame difference shows, and
    // the actual frame is offered (the difference picture is not made here).
    const wrong = "utc 2026-06-21 14:30:00\non\nwait 3s\nexpect-frame stopwatch.pbm\n";
    const nativeWrong = runnerRun(wrong, picked);
    rmSync(nativeWrong.dir, { recursive: true, force: true });
    assert.equal(nativeWrong.code, 1);
    const failed = await runInPage(page, wrong, picked);
    assert.equal(failed.result, nativeWrong.out + "0 passed, 1 failed\n" + nativeWrong.err);
    assert.match(failed.result, /^script\.tmx:4: expected frame stopwatch\.pbm, got \d+ pixels different/m);
    assert.deepEqual(Object.keys(failed.files), ["stopwatch.actual.pbm"]);
    assert.deepEqual(pbmPixels(failed.files["stopwatch.actual.pbm"]), displayOf(await web.canvasPixels(page)));
    assert.equal(failed.notMade.length, 1);
    assert.match(failed.notMade[0], /^stopwatch\.diff\.png: not made/);
    assert.deepEqual(problems, []);
    await page.close();
  } finally {
    rmSync(native.dir, { recursive: true, force: true });
  }
});
