// The simulated clock panel: the host clock's UTC, Set UTC, pause and step,
// the speed, and the badge beside the instrument that shows them.

import { Ev, post, hostWaits } from "./queue.js";
import { $, click, notice } from "./ui.js";

export let paused = false;
export let speed = 1;
// Virtual ms per event point, as the host's loaded state gives it.
export let frameMs = 20;
export let shownUtcSecond = null;
let utcEdited = false; // the date field follows the clock until the user edits it
let shownPaused = null;

export function setFramePeriod(ms) {
  frameMs = ms;
}

// The host is about to sleep: the clock panel shows where it stands. Only
// what changed touches the page.
export function yielded(utcMs, isPaused, waiting) {
  const second = Math.floor(utcMs / 1000);
  if (second !== shownUtcSecond) {
    shownUtcSecond = second;
    $("SimUtc").value = utcText(second * 1000) + " UTC";
    $("SimUtc").dataset.utc = String(second);
    if (!utcEdited) $("SimUtcInput").value = utcText(second * 1000);
  }
  if (isPaused !== shownPaused) {
    shownPaused = isPaused;
    $("SimPanel").dataset.paused = isPaused ? "1" : "0";
    showBadge();
  }
  if (waiting) hostWaits();
}

function showBadge() {
  const badge = $("Badge");
  badge.dataset.paused = paused ? "1" : "0";
  badge.textContent = paused ? "PAUSED" : speed === 0 ? "Fastest" : `${speed}x`;
}

function utcText(ms) {
  return new Date(ms).toISOString().slice(0, 19).replace("T", " ");
}

// "YYYY-MM-DD HH:MM[:SS]" (or with a T), UTC, to ms; NaN when it is not one.
export function parseUtc(text) {
  const m = /^\s*(\d{4})-(\d\d)-(\d\d)[T ](\d\d):(\d\d)(?::(\d\d))?\s*$/.exec(text);
  if (!m || +m[2] < 1 || +m[2] > 12 || +m[3] < 1 || +m[3] > 31 || +m[4] > 23 || +m[5] > 59 || +(m[6] || 0) > 59)
    return NaN;
  const ms = Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0));
  return new Date(ms).getUTCDate() === +m[3] ? ms : NaN;
}

export function setPaused(on) {
  paused = on;
  post(Ev.PAUSE, paused ? 1 : 0);
  $("SimPause").textContent = paused ? "Resume" : "Pause";
  $("SimStep").disabled = $("SimStepSecond").disabled = !paused;
  showBadge();
}

export function setSpeed(value) {
  speed = value;
  $("SimSpeed").value = String(value);
  post(Ev.SPEED, value);
  showBadge();
}

$("SimUtcInput").addEventListener("input", () => { utcEdited = true; });
click("SimSetUtc", () => {
  const ms = parseUtc($("SimUtcInput").value);
  if (Number.isNaN(ms)) {
    notice("The date and time read YYYY-MM-DD HH:MM:SS, in UTC and 24-hour.");
    return;
  }
  notice("");
  utcEdited = false;
  post(Ev.SET_UTC, ms);
});
click("SimPause", () => setPaused(!paused));
click("SimStep", () => post(Ev.STEP));
click("SimStepSecond", () => {
  for (let i = 0; i < Math.round(1000 / frameMs); i++) post(Ev.STEP); // 50 passes of 20 ms
});
$("SimSpeed").addEventListener("change", (e) => setSpeed(Number(e.target.value)));
showBadge();
