// What the browser tests share: a static server for build-web/, headless
// Chromium, the page's clock panel and canvas, and reference frames from the
// headless runner (tmx5 run) for the same inputs.
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";

const here = path.dirname(fileURLToPath(import.meta.url));
export const top = path.resolve(here, "../..");
const site = process.env.TMX5_SITE || path.join(top, "build-web");
const tmx5 = process.env.TMX5 || path.join(top, "build/host/tmx5");

export const LIT = [0, 0, 0];
export const UNLIT = [239, 239, 239];
export const LAMP_BRIGHT = "rgb(255, 0, 0)";
export const LAMP_DARK = "rgb(128, 0, 0)";

// python3 -m http.server on a free loopback port; resolves with its address.
export function startServer() {
  return new Promise((resolve, reject) => {
    const server = spawn("python3", ["-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", site], {
      stdio: ["ignore", "pipe", "pipe"],
    });
    let said = "";
    const listen = (chunk) => {
      said += chunk;
      const m = /port (\d+)/.exec(said);
      if (m) {
        server.stdout.off("data", listen);
        resolve({ server, url: `http://127.0.0.1:${m[1]}/` });
      }
    };
    server.stdout.on("data", listen);
    server.stderr.on("data", () => {}); // the request log
    server.on("exit", (code) => reject(new Error(`http.server ended (${code}): ${said}`)));
  });
}

// Headless Chromium; as root it has to run without its sandbox.
export function launchBrowser() {
  const args = ["--disable-gpu", "--no-first-run", "--no-default-browser-check", "--disable-extensions"];
  if (process.getuid && process.getuid() === 0) args.push("--no-sandbox");
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args,
  });
}

// A phone's screen: 390 x 844 CSS px at three device pixels each, with touch.
export const PHONE = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };

export async function openPage(browser, url, viewport = { width: 700, height: 600 }) {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (e) => problems.push(String(e)));
  page.on("requestfailed", (r) => problems.push(`request failed: ${r.url()}`));
  await page.setViewport(viewport);
  await page.goto(url);
  // The face is shown and the host runs.
  await page.waitForFunction(() => {
    const face = document.getElementById("Image2");
    return face.complete && face.naturalWidth === 310 && typeof Tmx5 !== "undefined" && Tmx5.isStarted;
  });
  return { page, problems };
}

// --- The clock panel -----------------------------------------------------------

export async function setUtc(page, text) {
  await page.$eval("#SimUtcInput", (e, v) => { e.value = v; e.dispatchEvent(new Event("input")); }, text);
  await page.click("#SimSetUtc");
}

// Waits until the host has taken every queued input and drawn the display.
export function settled(page) {
  return page.evaluate(() => Tmx5.whenSettled());
}

export async function pause(page) {
  if (await page.$eval("#SimPause", (b) => b.textContent) === "Pause") await page.click("#SimPause");
  await settled(page);
}

// Lets n frames (main-loop passes) run while paused.
export async function step(page, n = 1) {
  await page.evaluate((count) => {
    for (let i = 0; i < count; i++) document.getElementById("SimStep").click();
  }, n);
  await settled(page);
}

// The host clock's UTC second, as the clock panel shows it.
export async function pageUtc(page) {
  return Number(await page.$eval("#SimUtc", (e) => e.dataset.utc));
}

export function lamp(page) {
  return page.$eval("#Shape1", (e) => getComputedStyle(e).backgroundColor);
}

// The display canvas, RGBA bytes, 229 x 133.
export async function canvasPixels(page) {
  const b64 = await page.$eval("#Image1", (c) => {
    const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let s = "";
    for (let i = 0; i < d.length; i += 8192) s += String.fromCharCode(...d.subarray(i, i + 8192));
    return btoa(s);
  });
  return Buffer.from(b64, "base64");
}

// --- Reference frames ---------------------------------------------------------

function utcText(seconds) {
  return new Date(seconds * 1000).toISOString().slice(0, 19).replace("T", " ");
}

function readPbm(file) {
  const words = readFileSync(file, "utf8").split(/\s+/).filter(Boolean);
  if (words[0] !== "P1" || words[1] !== "114" || words[2] !== "64") throw new Error(`${file}: not a 114 x 64 plain PBM`);
  return words.slice(3).join("").split("").map(Number);
}

// Runs tmx5 run from `from` seconds: ON, the inputs (script lines), then a
// frame each second for `count` seconds. Returns the frames by the UTC second
// the instrument showed in each.
export function referenceFrames(from, inputs, count = 10) {
  const dir = mkdtempSync(path.join(tmpdir(), "tmx5-web-"));
  try {
    const lines = [`utc ${utcText(from)}`, "on", "wait 2s", ...inputs];
    for (let i = 0; i < count; i++)
      lines.push(`snap f${i}.pbm`, "print UtcTime.Hour UtcTime.Minute UtcTime.Second", "wait 1s");
    writeFileSync(path.join(dir, "ref.tmx"), lines.join("\n") + "\n");
    const out = execFileSync(tmx5, ["run", path.join(dir, "ref.tmx")], { encoding: "utf8" });
    const shown = [...out.matchAll(/UtcTime\.Hour=(\d+)\s+UtcTime\.Minute=(\d+)\s+UtcTime\.Second=(\d+)/g)];
    if (shown.length !== count) throw new Error(`tmx5 run printed ${shown.length} times, not ${count}:\n${out}`);
    const day = Math.floor(from / 86400) * 86400;
    const frames = new Map();
    shown.forEach((m, i) => {
      let second = day + 3600 * +m[1] + 60 * +m[2] + +m[3];
      if (second < from - 43200) second += 86400; // past midnight
      frames.set(second, readPbm(path.join(dir, `f${i}.pbm`)));
    });
    return frames;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// Compares the canvas with a frame as the window draws it: each display
// pixel a 2 x 2 block, the rest of the canvas unlit. Returns null when every
// pixel is the same, else what differs.
export function compareCanvas(canvas, frame) {
  const width = 229, height = 133;
  let differ = 0, first = null;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const lit = x < 228 && y < 128 && frame[(y >> 1) * 114 + (x >> 1)] === 1;
      const want = lit ? LIT : UNLIT;
      const i = (y * width + x) * 4;
      if (canvas[i] !== want[0] || canvas[i + 1] !== want[1] || canvas[i + 2] !== want[2] || canvas[i + 3] !== 255) {
        differ++;
        if (!first) first = `(${x}, ${y}) is ${[...canvas.subarray(i, i + 4)]}, not ${want}`;
      }
    }
  }
  return differ ? `${differ} canvas pixels differ, the first at ${first}` : null;
}

// The canvas must be the reference frame of a second the page's clock can
// show now: the instrument reads the clock once a second, so it shows the
// current second or the one before.
export function expectSameAsRunner(canvas, frames, utcNow) {
  const tried = [];
  for (const second of [utcNow, utcNow - 1]) {
    const frame = frames.get(second);
    if (!frame) {
      tried.push(`${utcText(second)}: no reference (have ${[...frames.keys()].map(utcText).join(", ")})`);
      continue;
    }
    const diff = compareCanvas(canvas, frame);
    if (!diff) return;
    tried.push(`${utcText(second)}: ${diff}`);
  }
  throw new Error(`the display is not the frame tmx5 run draws:\n  ${tried.join("\n  ")}`);
}
