// Measures what the page costs the browser: main-thread time (Chrome's
// Performance metrics TaskDuration and ScriptDuration) over 10 s on the zone
// home page at 1x and paused, and the pace at Fastest (virtual seconds per
// wall second). A measurement, not a test; docs/PERFORMANCE.md has figures.
// Run it after scripts/web --build-only and npm ci here:
//   node tests/web/idle.mjs
import * as web from "./support.mjs";

const SECONDS = 10;

async function busy(page) {
  const before = await page.metrics();
  const t0 = performance.now();
  await new Promise((resolve) => setTimeout(resolve, SECONDS * 1000));
  const after = await page.metrics();
  const wall = (performance.now() - t0) / 1000;
  const share = (key) => (100 * (after[key] - before[key])) / wall;
  return `task ${share("TaskDuration").toFixed(2)} % of a core, script ${share("ScriptDuration").toFixed(2)} %`;
}

const { server, url } = await web.startServer();
const browser = await web.launchBrowser();
try {
  const { page } = await web.openPage(browser, url);
  await web.setUtc(page, "2026-06-21 14:30:00");
  await page.click("#Button1");
  await new Promise((resolve) => setTimeout(resolve, 4000)); // the splash
  console.log(`home page at 1x, ${SECONDS} s: ${await busy(page)}`);
  await web.pause(page);
  console.log(`paused, ${SECONDS} s: ${await busy(page)}`);
  await page.click("#SimPause");
  await page.select("#SimSpeed", "0");
  const utc0 = await web.pageUtc(page);
  const t0 = performance.now();
  await new Promise((resolve) => setTimeout(resolve, SECONDS * 1000));
  const pace = (await web.pageUtc(page) - utc0) / ((performance.now() - t0) / 1000);
  console.log(`Fastest, ${SECONDS} s: ${Math.round(pace)}x real time`);
} finally {
  await browser.close();
  server.kill();
}
