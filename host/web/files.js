// The file panel: Share (a link to this moment), the display as a picture
// and the last minute as an animation, saving and loading a state file,
// and recording a session as a script. What the host hands over for them
// comes back here.

import { Ev, post } from "./queue.js";
import { shownFrame } from "./display.js";
import { shownUtcSecond } from "./clock.js";
import { trackBar } from "./controls.js";
import { linkFragment } from "./links.js";
import { pngOf, gifOf } from "./pictures.js";
import { $, click, notice, download } from "./ui.js";

// The state file's text, at the host's next event point.
let stateWaiters = [];
export function captureState() {
  return new Promise((resolve, reject) => {
    stateWaiters.push({ resolve, reject });
    post(Ev.CAPTURE);
  });
}

export function stateCaptured(text) {
  stateWaiters.splice(0).forEach((w) => w.resolve(text));
}

export function stateRefused(why) {
  if (stateWaiters.length) {
    stateWaiters.splice(0).forEach((w) => w.reject(new Error(why)));
    notice(`The state cannot be saved: ${why}.`);
  } else {
    const file = sessionStorage.getItem("tmx5-loaded-file");
    notice(file ? `The state file ${file} cannot be read (${why}); the simulator starts afresh.`
      : `This link's state cannot be put back (${why}); the simulator starts afresh.`);
  }
  sessionStorage.removeItem("tmx5-loaded-file");
}

// The frames the display changed to in the last minute of virtual time,
// which the host keeps, with their times and the time now.
const historyWaiters = [];
function recentFrames() {
  return new Promise((resolve) => {
    historyWaiters.push(resolve);
    post(Ev.HISTORY);
  });
}
export function history(frames, nowMs) {
  historyWaiters.splice(0).forEach((resolve) => resolve({ frames, nowMs }));
}

let recording = false;
export function recorded(script) {
  recording = false;
  $("Record").textContent = "Record";
  download(`session-${stamp()}.tmx`, new Blob([script], { type: "text/plain" }));
  notice("The recording is downloaded: replay it with tmx5 run.");
}

export function recordRefused(why) {
  recording = false;
  $("Record").textContent = "Record";
  notice(why);
}

// A file name's time: the host clock's UTC second shown.
function stamp() {
  return new Date(shownUtcSecond * 1000).toISOString().slice(0, 19).replace(/[-:]/g, "").replace("T", "-");
}

// A state cannot be taken during the splash; the notice says so.
const stateOrNothing = () => captureState().catch(() => null);
click("Share", async () => {
  const state = await stateOrNothing();
  if (state === null) return;
  const link = location.href.replace(/#.*$/, "") + await linkFragment(state);
  $("ShareLink").value = link;
  try {
    await navigator.clipboard.writeText(link);
    notice("The link is on the clipboard.");
  } catch (e) {
    // The browser keeps the clipboard to itself: the field holds the link.
  }
});
click("DownloadPng", async () => download(`tmx5-${stamp()}.png`, await pngOf(shownFrame)));
click("DownloadGif", async () => {
  const { frames, nowMs } = await recentFrames();
  if (!frames.length) return;
  download(`tmx5-${stamp()}.gif`, gifOf(frames, Math.max(nowMs, frames[frames.length - 1].ms + 20)));
});
click("SaveState", async () => {
  const state = await stateOrNothing();
  if (state !== null) download(`tmx5-${stamp()}.state`, new Blob([state], { type: "text/plain" }));
});
click("LoadState", () => $("LoadStateFile").click());
// A recording starts from program start; the controls' positions go in
// again as its first inputs.
click("Record", () => {
  if (recording) {
    post(Ev.RECORD, 0);
    return;
  }
  recording = true;
  $("Record").textContent = "Stop recording";
  notice("");
  post(Ev.RECORD, 1);
  if (trackBar !== 2048) post(Ev.SENSOR, trackBar);
  if ($("CheckBox2").checked) post(Ev.CALIBRATE, 1);
  if ($("CheckBox3").checked) post(Ev.KEYFAST, 1);
});
$("LoadStateFile").addEventListener("change", async (e) => {
  const file = e.target.files[0];
  if (!file) return;
  // The page starts again from the file, as from a link to it.
  const text = await file.text();
  sessionStorage.setItem("tmx5-loaded-file", file.name);
  location.hash = await linkFragment(text);
  location.reload();
});
