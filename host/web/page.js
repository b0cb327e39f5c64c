// The page side of the browser host (WebHost.cpp is the other side).
//
// The page's modules, by what they do:
//   queue.js     what the user did, queued for the host, and the host's sleep
//   display.js   the display canvas, the lamp and Label15 as the host draws them
//   controls.js  the window's controls and the keys by keyboard, wheel and touch
//   clock.js     the simulated clock panel: UTC, pause, step, speed
//   travel.js    going back and forward in the session
//   files.js     Share, pictures, state files and recording
//   links.js     a state in a link, and the link the page was opened with
//   pictures.js  the display as PNG and GIF files
//   script.js    a scenario run in the page
//   ui.js        what they all use: elements, clicks, the notice, downloads
//
// This module puts together Tmx5, what the host calls (through its EM_JS
// functions) and what scripts driving the page read, and the Module settings
// of the Emscripten glue; tmx5.js runs after it.

import { Ev, post, peek, take, takeStep, sleep, whenSettled, queued } from "./queue.js";
import { LIT, UNLIT, draw, lamp, label15 } from "./display.js";
import { controls } from "./controls.js";
import { yielded, parseUtc } from "./clock.js";
import { session, timeline } from "./travel.js";
import { captureState, stateCaptured, stateRefused, history, recorded, recordRefused } from "./files.js";
import { initialState } from "./links.js";
import { scriptFiles, pickFiles } from "./script.js";
import * as ui from "./ui.js";

let started = false;

window.Tmx5 = {
  Ev, LIT, UNLIT, post, timeline, get session() { return { ...session }; }, peek, take, takeStep, sleep, draw, history,
  lamp, label15, controls, yielded, whenSettled, initialState, stateCaptured, stateRefused, captureState, parseUtc,
  recorded, recordRefused,
  started() {
    sessionStorage.removeItem("tmx5-loaded-file");
    started = true;
    document.body.dataset.host = "running";
  },
  get isStarted() { return started; }, get queued() { return queued(); },
  get lastDownload() { return ui.lastDownload; }, get downloads() { return ui.downloads; },
  get scriptFiles() { return scriptFiles; }, setScriptFiles: pickFiles,
};

// The Emscripten glue reads its settings from Module.
window.Module = {
  onAbort: (what) => {
    ui.$("StatusBar1").textContent = "The instrument stopped: " + what;
  },
};
