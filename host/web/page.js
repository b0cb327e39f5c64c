// The page side of the browser host (WebHost.cpp is the other side).
//
// The controls only queue what the user did; the instrument takes the queue
// at its event points, between passes, the way the window runs its event
// handlers only inside PumpEvents. The host calls back here to draw the
// display, colour the lamp, write Label15 and show the simulated clock.
"use strict";

const Tmx5 = (() => {
  // Event codes shared with WebHost.h.
  const Ev = { ON: 1, OFF: 2, KEY: 3, SENSOR: 4, CALIBRATE: 5, KEYFAST: 6, SET_UTC: 7, PAUSE: 8, STEP: 9, SPEED: 10 };
  const Key = { MENU: 1, CW: 2, CCW: 3, LEFT: 4, RIGHT: 5 };
  // Lit pixels are black; unlit ones the grey of the window under Debian's
  // default Qt style (Fusion), whose inactive window colour is 239, 239, 239.
  const LIT = [0, 0, 0];
  const UNLIT = [239, 239, 239];
  const WIDTH = 114, HEIGHT = 64, SCALE = 2;

  const $ = (id) => document.getElementById(id);
  const queue = [];
  const settleWaiters = [];
  let started = false;
  let lampColour = "";
  let shownUtcSecond = null;
  let paused = false;

  const canvas = $("Image1");
  const context = canvas.getContext("2d");
  const picture = context.createImageData(canvas.width, canvas.height);
  for (let i = 0; i < picture.data.length; i += 4) picture.data.set([...UNLIT, 255], i);
  context.putImageData(picture, 0, 0);

  function post(code, argument = 0) {
    queue.push([code, argument]);
  }

  // --- Called by the host ----------------------------------------------------

  function peek() {
    return queue.length ? queue[0][0] : 0;
  }

  function take() {
    return queue.shift() || [0, 0];
  }

  // Each display pixel (x, y) is lit when bit y mod 8 of byte (y div 8) x 114
  // + x is set, and becomes a 2 x 2 block of the canvas; the last column and
  // the last five rows of the canvas stay unlit.
  function draw(frame) {
    const data = picture.data;
    const stride = canvas.width * 4;
    for (let y = 0; y < HEIGHT; y++) {
      for (let x = 0; x < WIDTH; x++) {
        const lit = (frame[(y >> 3) * WIDTH + x] >> (y & 7)) & 1;
        const c = lit ? LIT : UNLIT;
        for (let dy = 0; dy < SCALE; dy++) {
          let i = (y * SCALE + dy) * stride + x * SCALE * 4;
          for (let dx = 0; dx < SCALE; dx++, i += 4) {
            data[i] = c[0];
            data[i + 1] = c[1];
            data[i + 2] = c[2];
          }
        }
      }
    }
    context.putImageData(picture, 0, 0);
  }

  function lamp(red, green, blue) {
    const colour = `rgb(${red}, ${green}, ${blue})`;
    if (colour === lampColour) return;
    lampColour = colour;
    $("Shape1").style.backgroundColor = colour;
  }

  // TrackBar6Change has run: the label shows the position the host took.
  function label15(position) {
    $("Label15").textContent = String(position);
  }

  function yielded(utcMs, isPaused, waiting) {
    const second = Math.floor(utcMs / 1000);
    if (second !== shownUtcSecond) {
      if (shownUtcSecond === null && !$("SimUtcInput").value)
        $("SimUtcInput").value = utcText(second * 1000).replace(" ", "T");
      shownUtcSecond = second;
      $("SimUtc").value = utcText(second * 1000) + " UTC";
      $("SimUtc").dataset.utc = String(second);
    }
    $("SimPanel").dataset.paused = isPaused ? "1" : "0";
    if (waiting && !queue.length) settleWaiters.splice(0).forEach((resolve) => resolve());
  }

  function started_() {
    started = true;
    document.body.dataset.host = "running";
  }

  // --- For scripts driving the page ------------------------------------------

  // Resolves once the host has taken everything queued and waits for the
  // next frame, the display showing the pass that took the last of it.
  function whenSettled() {
    return new Promise((resolve) => settleWaiters.push(resolve));
  }

  function utcText(ms) {
    return new Date(ms).toISOString().slice(0, 19).replace("T", " ");
  }

  // --- Controls ----------------------------------------------------------------

  const click = (id, handler) => $(id).addEventListener("click", handler);
  click("Button1", () => post(Ev.ON));
  click("Button2", () => post(Ev.OFF));
  click("Button3", () => post(Ev.KEY, Key.CW));
  click("Button4", () => post(Ev.KEY, Key.CCW));
  click("Image3", () => post(Ev.KEY, Key.LEFT));
  click("Image5", () => post(Ev.KEY, Key.MENU));
  click("Image6", () => post(Ev.KEY, Key.RIGHT));

  // A bar that does not move sends no change.
  let trackBar = 2048;
  $("TrackBar6").addEventListener("input", (e) => {
    const position = Number(e.target.value);
    if (position === trackBar) return;
    trackBar = position;
    post(Ev.SENSOR, position);
  });
  $("CheckBox2").addEventListener("change", (e) => post(Ev.CALIBRATE, e.target.checked ? 1 : 0));
  $("CheckBox3").addEventListener("change", (e) => post(Ev.KEYFAST, e.target.checked ? 1 : 0));

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
    ArrowRight: Key.CW, ArrowUp: Key.CW, ArrowLeft: Key.CCW, ArrowDown: Key.CCW,
    Enter: Key.MENU, " ": Key.MENU, F1: Key.LEFT, F2: Key.RIGHT,
  };
  document.addEventListener("keydown", (e) => {
    const focus = document.activeElement;
    if (focus && (focus.id === "TrackBar6" || $("SimPanel").contains(focus))) return;
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
      post(Ev.KEY, e.deltaY < 0 ? Key.CW : Key.CCW);
      return;
    }
    wheelRest += e.deltaY;
    while (wheelRest <= -notch) { wheelRest += notch; post(Ev.KEY, Key.CW); }
    while (wheelRest >= notch) { wheelRest -= notch; post(Ev.KEY, Key.CCW); }
  }, { passive: false });

  // The simulated clock.
  click("SimSetUtc", () => {
    const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d)(?::(\d\d))?/.exec($("SimUtcInput").value);
    if (!m) return;
    post(Ev.SET_UTC, Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0)));
  });
  click("SimPause", () => {
    paused = !paused;
    post(Ev.PAUSE, paused ? 1 : 0);
    $("SimPause").textContent = paused ? "Run" : "Pause";
    $("SimStep").disabled = !paused;
  });
  click("SimStep", () => post(Ev.STEP));
  $("SimSpeed").addEventListener("change", (e) => post(Ev.SPEED, Number(e.target.value)));
  // The panel's buttons give the keyboard back to the instrument at once.
  for (const id of ["SimSetUtc", "SimPause", "SimStep"]) $(id).addEventListener("click", (e) => e.target.blur());

  return {
    Ev, Key, LIT, UNLIT, post, peek, take, draw, lamp, label15, yielded, whenSettled,
    started: started_, get isStarted() { return started; }, get queued() { return queue.length; },
  };
})();

// The Emscripten glue reads its settings from Module.
var Module = {
  onAbort: (what) => {
    document.getElementById("StatusBar1").textContent = "The instrument stopped: " + what;
  },
};
