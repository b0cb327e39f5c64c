// The window's controls and the instrument's keys: ON and OFF, the knob
// buttons, the face's three keys, the track bar and the two check boxes,
// and the same keys by keyboard, mouse wheel and touch.
//
// Keys are named by the words of the scripts' key command; queue.js turns
// them into the instrument's codes.

import { Ev, post } from "./queue.js";
import { setFramePeriod } from "./clock.js";
import { travel, perSecond } from "./travel.js";
import { $, click } from "./ui.js";

click("Button1", () => post(Ev.ON));
click("Button2", () => post(Ev.OFF));
click("Button3", () => post(Ev.KEY, "cw"));
click("Button4", () => post(Ev.KEY, "ccw"));
click("Image3", () => post(Ev.KEY, "left"));
click("Image5", () => post(Ev.KEY, "menu"));
click("Image6", () => post(Ev.KEY, "right"));

// A bar that does not move sends no change.
export let trackBar = 2048;
$("TrackBar6").addEventListener("input", (e) => {
  const position = Number(e.target.value);
  if (position === trackBar) return;
  trackBar = position;
  post(Ev.SENSOR, position);
});
$("CheckBox2").addEventListener("change", (e) => post(Ev.CALIBRATE, e.target.checked ? 1 : 0));
$("CheckBox3").addEventListener("change", (e) => post(Ev.KEYFAST, e.target.checked ? 1 : 0));

// The host's controls as a loaded state left them.
export function controls(trackBarPosition, calibrate, keyFast, framePeriodMs) {
  setFramePeriod(framePeriodMs);
  trackBar = trackBarPosition;
  $("TrackBar6").value = String(trackBarPosition);
  $("Label15").textContent = String(trackBarPosition);
  $("CheckBox2").checked = !!calibrate;
  $("CheckBox3").checked = !!keyFast;
}

// Only the track bar (and the clock panel) take the keyboard; a click
// anywhere else on the window gives it back to the instrument, and buttons
// and check boxes never keep it, so Space and Return stay the MENU key.
const form = $("Form1");
form.addEventListener("mousedown", (e) => {
  if (e.target.id === "TrackBar6") return;
  e.preventDefault();
  if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();
});

const keys = {
  ArrowRight: "cw", ArrowUp: "cw", ArrowLeft: "ccw", ArrowDown: "ccw",
  Enter: "menu", " ": "menu", F1: "left", F2: "right",
};
document.addEventListener("keydown", (e) => {
  const focus = document.activeElement;
  if (focus && (focus.id === "TrackBar6" || $("SimPanel").contains(focus) || $("FilePanel").contains(focus) ||
    $("ScriptPanel").contains(focus) || $("SessionPanel").contains(focus))) return;
  // The window's travel keys: Ctrl+Left and Right a second, with Shift a pass.
  if (e.ctrlKey && !e.altKey && !e.metaKey && (e.key === "ArrowLeft" || e.key === "ArrowRight")) {
    e.preventDefault();
    const step = e.shiftKey ? 1 : perSecond();
    travel(e.key === "ArrowLeft" ? -step : step);
    return;
  }
  if (e.ctrlKey || e.altKey || e.metaKey || !(e.key in keys)) return;
  e.preventDefault();
  post(Ev.KEY, keys[e.key]);
});

// The wheel over the face or the display turns the knob, one step a notch.
// A mouse sends a notch per event; small steps (a touchpad) add up.
let wheelRest = 0;
form.addEventListener("wheel", (e) => {
  const box = form.getBoundingClientRect();
  const x = e.clientX - box.left, y = e.clientY - box.top;
  const inside = (l, t, w, h) => x >= l && x < l + w && y >= t && y < t + h;
  if (!inside(0, 0, 310, 310) && !inside(39, 91, 231, 135)) return;
  e.preventDefault();
  const notch = e.deltaMode === 0 ? 100 : e.deltaMode === 1 ? 3 : 1;
  if (Math.abs(e.deltaY) >= notch / 2) {
    wheelRest = 0;
    post(Ev.KEY, e.deltaY < 0 ? "cw" : "ccw");
    return;
  }
  wheelRest += e.deltaY;
  while (wheelRest <= -notch) { wheelRest += notch; post(Ev.KEY, "cw"); }
  while (wheelRest >= notch) { wheelRest -= notch; post(Ev.KEY, "ccw"); }
}, { passive: false });

// The knob by touch: a horizontal drag or swipe across the face turns it
// one step every 30 px, to the right clockwise. A drag is no tap, so the
// key under the finger is not pressed when it ends.
const DETENT_PX = 30;
const face = $("Face");
let drag = null;
face.addEventListener("pointerdown", (e) => {
  if (e.pointerType === "mouse") return;
  drag = { id: e.pointerId, x: e.clientX, moved: false };
});
face.addEventListener("pointermove", (e) => {
  if (!drag || e.pointerId !== drag.id) return;
  const scale = face.getBoundingClientRect().width / 310 || 1;
  const dx = (e.clientX - drag.x) / scale;
  const steps = Math.trunc(dx / DETENT_PX);
  if (!steps) return;
  drag.moved = true;
  drag.x += steps * DETENT_PX * scale;
  for (let i = 0; i < Math.abs(steps); i++) post(Ev.KEY, steps > 0 ? "cw" : "ccw");
});
// A touch that did not move presses the key under it at once: the
// browser may not turn a tap that follows a swipe into a click.
const faceKeys = { Image3: "left", Image5: "menu", Image6: "right" };
const endDrag = (e) => {
  if (!drag || e.pointerId !== drag.id) return;
  drag.id = null;
  if (e.type === "pointerup" && !drag.moved && e.target.id in faceKeys) post(Ev.KEY, faceKeys[e.target.id]);
};
face.addEventListener("pointerup", endDrag);
face.addEventListener("pointercancel", endDrag);
// The keys took the touch at pointerup; the browser's clicks of touches
// (none, one or more, and late) press nothing more.
face.addEventListener("click", (e) => {
  if (e.pointerType === "touch" || e.pointerType === "pen") e.stopPropagation();
}, true);

// On a narrow screen the face is scaled to the screen's width.
function fitFace() {
  const narrow = window.matchMedia("(max-width: 699px)").matches;
  const width = Math.min(document.documentElement.clientWidth - 16, 560);
  form.style.setProperty("--face-scale", narrow ? String(width / 310) : "1");
}
window.addEventListener("resize", fitFace);
fitFace();

// The panels' buttons give the keyboard back to the instrument at once.
for (const id of ["SimSetUtc", "SimPause", "SimStep", "SimStepSecond", "Share", "DownloadPng", "DownloadGif",
  "SaveState", "LoadState", "Record", "RunScript", "ScriptPick", "BackSecond", "BackPass", "ForwardPass",
  "ForwardSecond"])
  $(id).addEventListener("click", (e) => e.target.blur());
