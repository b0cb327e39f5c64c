// Takes the README's pictures of the page: docs/web.png (a desktop browser)
// and docs/web-phone.png (a phone, 390 x 844), the zone home page at a fixed
// UTC. Run it after scripts/web --build-only and npm ci here:
//   node tests/web/screenshot.mjs
import path from "node:path";
import * as web from "./support.mjs";

async function homePage(page) {
  await web.setUtc(page, "2026-06-21 14:30:00");
  await web.pause(page);
  await page.click("#Button1");
  await web.step(page, 130);
  await page.click("#SimPause"); // run on, as a visitor sees it
  await web.settled(page);
}

const { server, url } = await web.startServer();
const browser = await web.launchBrowser();
try {
  const { page } = await web.openPage(browser, url);
  await homePage(page);
  const from = await (await page.$("#Window")).boundingBox();
  const to = await (await page.$("#FilePanel")).boundingBox();
  const margin = 8;
  await page.screenshot({
    path: path.join(web.top, "docs/web.png"),
    clip: { x: from.x - margin, y: from.y - margin, width: from.width + 2 * margin,
            height: to.y + to.height - from.y + 2 * margin },
  });

  // One device pixel per CSS pixel keeps the picture small; the tests use three.
  const { page: phone } = await web.openPage(browser, url, { ...web.PHONE, deviceScaleFactor: 1 });
  await homePage(phone);
  await phone.screenshot({ path: path.join(web.top, "docs/web-phone.png"), fullPage: true });
} finally {
  await browser.close();
  server.kill();
}
