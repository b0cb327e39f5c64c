// Going back and forward: the session panel's timeline and buttons. The
// host keeps the session; the page shows where it stands and asks it to go
// to another of its event points.

import { Ev, post } from "./queue.js";
import { paused, frameMs, setPaused } from "./clock.js";
import { $, click } from "./ui.js";

// Where the session stands: the event point shown, and the first and the
// last of the session, which the host keeps.
export const session = { point: 0, start: 0, end: 0 };
let timelineHeld = false; // the user is dragging the timeline
let timelineSecond = null;
export function timeline(point, start, end) {
  if (point === session.point && start === session.start && end === session.end) return;
  Object.assign(session, { point, start, end });
  // Running, the slider and its text move once a second of the session:
  // the page is touched no more often than the clock panel touches it.
  const second = Math.floor((point - start) * frameMs / 1000);
  if (!paused && second === timelineSecond) return;
  timelineSecond = second;
  // Running, the host shows the pass it has not recorded yet: the session
  // reaches to there.
  const last = Math.max(point, end);
  const t = $("Timeline");
  t.min = String(start);
  t.max = String(last);
  if (!timelineHeld) t.value = String(point);
  const seconds = (p) => ((p - start) * frameMs / 1000).toFixed(2);
  $("TimelineText").value = `${seconds(point)} s of ${seconds(last)} s`;
}

// Going back and forward pauses; forward past the session's end steps.
export function travel(by) {
  if (!paused) setPaused(true);
  const target = Math.max(session.start, session.point + by);
  if (target <= session.end) {
    post(Ev.TRAVEL, target);
    return;
  }
  if (session.point < session.end) post(Ev.TRAVEL, session.end);
  for (let i = Math.max(session.point, session.end); i < target; i++) post(Ev.STEP);
}

export const perSecond = () => Math.ceil(1000 / frameMs);
click("BackSecond", () => travel(-perSecond()));
click("BackPass", () => travel(-1));
click("ForwardPass", () => travel(1));
click("ForwardSecond", () => travel(perSecond()));
const timelineInput = $("Timeline");
timelineInput.addEventListener("pointerdown", () => { timelineHeld = true; });
timelineInput.addEventListener("change", () => {
  timelineHeld = false;
  if (!paused) setPaused(true);
  post(Ev.TRAVEL, Number(timelineInput.value));
});
