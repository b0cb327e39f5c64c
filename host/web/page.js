// The page side of the browser host (WebHost.cpp is the other side).
//
// The controls only queue what the user did; the instrument takes the queue
// at its event points, between passes, the way the window runs its event
// handlers only inside PumpEvents. The host calls back here to draw the
// display, colour the lamp, write Label15 and show the simulated clock.
"use strict";

const Tmx5 = (() => {
  // Event codes shared with WebHost.h.
  const Ev = {
    ON: 1, OFF: 2, KEY: 3, SENSOR: 4, CALIBRATE: 5, KEYFAST: 6, SET_UTC: 7, PAUSE: 8, STEP: 9, SPEED: 10, CAPTURE: 11, RECORD: 12, HISTORY: 13, TRAVEL: 14,
  };
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
  let speed = 1;
  let utcEdited = false; // the date field follows the clock until the user edits it
  let wake = null; // ends the host's sleep early: an input arrived
  let settledNow = false; // the host sleeps with nothing queued, the display showing its last pass
  let shownFrame = new Uint8Array(912);
  let historyWaiters = [];

  const canvas = $("Image1");
  const context = canvas.getContext("2d");
  const picture = context.createImageData(canvas.width, canvas.height);
  for (let i = 0; i < picture.data.length; i += 4) picture.data.set([...UNLIT, 255], i);
  context.putImageData(picture, 0, 0);

  function post(code, argument = 0) {
    queue.push([code, argument]);
    if (wake) wake();
  }

  // --- Called by the host ----------------------------------------------------

  function peek() {
    return queue.length ? queue[0][0] : 0;
  }

  function take() {
    return queue.shift() || [0, 0];
  }

  // Takes the first step in the queue, ahead of inputs the host holds back.
  function takeStep() {
    const i = queue.findIndex((e) => e[0] === Ev.STEP);
    if (i < 0) return 0;
    queue.splice(i, 1);
    return 1;
  }

  // The host sleeps ms (-1: however long) or until the page posts an input.
  // A sleep of 0 only lets the browser run what is waiting.
  const channel = new MessageChannel();
  const immediate = [];
  // Once a script has run, the instrument is the script's until the page
  // reloads from the state it ended in: the host sleeps on.
  let frozen = false;
  channel.port1.onmessage = () => {
    const resolve = immediate.shift();
    if (!frozen) resolve();
  };
  function sleep(ms) {
    return new Promise((resolve) => {
      let timer = null;
      const done = () => {
        if (timer !== null) clearTimeout(timer);
        wake = null;
        settledNow = false;
        if (!frozen) resolve();
      };
      if (ms === 0) {
        settledNow = false;
        immediate.push(resolve);
        channel.port2.postMessage(0);
        return;
      }
      wake = done;
      if (ms > 0) timer = setTimeout(done, ms);
    });
  }

  // The host hands over the frame as the instrument drew it (kept for the
  // PNG download) and its magnified picture, RGBA, which fills the top left
  // of the canvas; the last column and the last five rows stay unlit.
  function draw(frame, rgba) {
    shownFrame = frame.slice();
    context.putImageData(new ImageData(new Uint8ClampedArray(rgba), WIDTH * SCALE, HEIGHT * SCALE), 0, 0);
  }

  // The frames the display changed to in the last minute of virtual time,
  // which the host keeps, with their times and the time now.
  function recentFrames() {
    return new Promise((resolve) => {
      historyWaiters.push(resolve);
      post(Ev.HISTORY);
    });
  }
  function history(frames, nowMs) {
    historyWaiters.splice(0).forEach((resolve) => resolve({ frames, nowMs }));
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

  // The host's controls as a loaded state left them.
  let frameMs = 20;
  function controls(trackBarPosition, calibrate, keyFast, framePeriodMs) {
    frameMs = framePeriodMs;
    trackBar = trackBarPosition;
    $("TrackBar6").value = String(trackBarPosition);
    $("Label15").textContent = String(trackBarPosition);
    $("CheckBox2").checked = !!calibrate;
    $("CheckBox3").checked = !!keyFast;
  }

  // The host is about to sleep: the clock panel shows where it stands. Only
  // what changed touches the page.
  let shownPaused = null;
  function yielded(utcMs, isPaused, waiting) {
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
    if (waiting && !queue.length) {
      settledNow = true;
      settleWaiters.splice(0).forEach((resolve) => resolve());
    }
  }

  // Where the session stands: the event point shown, and the first and the
  // last of the session, which the host keeps.
  const session = { point: 0, start: 0, end: 0 };
  let timelineHeld = false; // the user is dragging the timeline
  let timelineSecond = null;
  function timeline(point, start, end) {
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
  function travel(by) {
    if (!paused) setPaused(true);
    const target = Math.max(session.start, session.point + by);
    if (target <= session.end) {
      post(Ev.TRAVEL, target);
      return;
    }
    if (session.point < session.end) post(Ev.TRAVEL, session.end);
    for (let i = Math.max(session.point, session.end); i < target; i++) post(Ev.STEP);
  }

  function showBadge() {
    const badge = $("Badge");
    badge.dataset.paused = paused ? "1" : "0";
    badge.textContent = paused ? "PAUSED" : speed === 0 ? "Fastest" : `${speed}x`;
  }

  function started_() {
    sessionStorage.removeItem("tmx5-loaded-file");
    started = true;
    document.body.dataset.host = "running";
  }

  // --- Saved states and links --------------------------------------------------

  // A link's fragment: the version tag, the speed, the paused flag, the
  // host clock's UTC in ms, the CRC-32 of the state file's text (so that a
  // link changed on its way is refused, not read as another state), then
  // the text itself, deflated and in base64url.
  const LINK_TAG = "tmx5-1";
  const SPEEDS = ["1", "10", "60", "600", "0"];

  function notice(text) {
    const n = $("Notice");
    n.textContent = text;
    n.hidden = !text;
  }

  async function deflate(text) {
    const stream = new Blob([text]).stream().pipeThrough(new CompressionStream("deflate-raw"));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  async function inflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate-raw"));
    return new TextDecoder("utf-8", { fatal: true }).decode(await new Response(stream).arrayBuffer());
  }

  function base64url(bytes) {
    let s = "";
    for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return btoa(s).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
  }

  function unbase64url(text) {
    if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new Error("not base64url");
    const s = atob(text.replace(/-/g, "+").replace(/_/g, "/"));
    return Uint8Array.from(s, (c) => c.charCodeAt(0));
  }

  const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  function crc32(text) {
    let c = 0xffffffff;
    for (const b of new TextEncoder().encode(text)) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
    return ((c ^ 0xffffffff) >>> 0).toString(16).padStart(8, "0");
  }

  async function linkFragment(stateText) {
    const utc = /^HostUtcMs (-?\d+)$/m.exec(stateText);
    return `#${LINK_TAG}.${speed}.${paused ? 1 : 0}.${utc ? utc[1] : 0}.${crc32(stateText)}.` +
      base64url(await deflate(stateText));
  }

  // What the page was opened with: the state text of a link, or null for a
  // fresh start. A link the page cannot read says so and starts fresh. The
  // link's speed and pause are queued for the host's first event point.
  async function initialState() {
    const hash = decodeURIComponent(location.hash.slice(1));
    if (!hash) return null;
    const parts = hash.split(".");
    const tag = parts[0];
    if (!/^tmx5-/.test(tag)) {
      notice("This link holds no simulator state; the simulator starts afresh.");
      return null;
    }
    if (tag !== LINK_TAG) {
      notice(`This link comes from another version of the simulator (${tag}, this page reads ${LINK_TAG}); ` +
        "the simulator starts afresh.");
      return null;
    }
    let text;
    try {
      if (parts.length !== 6 || !SPEEDS.includes(parts[1]) || !/^[01]$/.test(parts[2]) ||
          !/^-?\d+$/.test(parts[3]) || !/^[0-9a-f]{8}$/.test(parts[4]))
        throw new Error("its fields are wrong");
      text = await inflate(unbase64url(parts[5]));
      if (crc32(text) !== parts[4]) throw new Error("its check sum is wrong");
      const utc = /^HostUtcMs (-?\d+)$/m.exec(text);
      if (!utc || utc[1] !== parts[3]) throw new Error("its clock does not match its state");
    } catch (e) {
      const file = sessionStorage.getItem("tmx5-loaded-file");
      sessionStorage.removeItem("tmx5-loaded-file");
      notice(file ? `The state file ${file} cannot be read; the simulator starts afresh.`
        : "This link is damaged and cannot be opened; the simulator starts afresh.");
      return null;
    }
    setSpeed(Number(parts[1]));
    setPaused(parts[2] === "1");
    return text;
  }

  // The state file's text, at the host's next event point.
  let stateWaiters = [];
  function captureState() {
    return new Promise((resolve, reject) => {
      stateWaiters.push({ resolve, reject });
      post(Ev.CAPTURE);
    });
  }

  function stateCaptured(text) {
    stateWaiters.splice(0).forEach((w) => w.resolve(text));
  }

  function stateRefused(why) {
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

  // --- Recording -------------------------------------------------------------------

  let recording = false;
  function recorded(script) {
    recording = false;
    $("Record").textContent = "Record";
    download(`session-${stamp()}.tmx`, new Blob([script], { type: "text/plain" }));
    notice("The recording is downloaded: replay it with tmx5 run.");
  }

  function recordRefused(why) {
    recording = false;
    $("Record").textContent = "Record";
    notice(why);
  }

  // --- Downloads -------------------------------------------------------------------

  // The last download, for scripts driving the page.
  let lastDownload = null;
  let downloads = 0;
  function download(name, blob) {
    lastDownload = { name, blob };
    downloads++;
    const a = document.createElement("a");
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 60000);
  }

  // The display as the runner's pictures show it: twice its size, lit
  // pixels black on the grey of an unlit segment.
  const PICTURE_LIT = [0, 0, 0];
  const PICTURE_UNLIT = [200, 200, 200];
  function pngOf(frame) {
    const out = document.createElement("canvas");
    out.width = WIDTH * 2;
    out.height = HEIGHT * 2;
    const c = out.getContext("2d");
    const image = c.createImageData(out.width, out.height);
    for (let y = 0; y < out.height; y++) {
      for (let x = 0; x < out.width; x++) {
        const lit = (frame[(y >> 4) * WIDTH + (x >> 1)] >> ((y >> 1) & 7)) & 1;
        image.data.set([...(lit ? PICTURE_LIT : PICTURE_UNLIT), 255], (y * out.width + x) * 4);
      }
    }
    c.putImageData(image, 0, 0);
    return new Promise((resolve) => out.toBlob(resolve, "image/png"));
  }

  // GIF's variable-length LZW, as a series of sub-blocks.
  function lzw(indices, minCodeSize) {
    const clear = 1 << minCodeSize, end = clear + 1;
    const bytes = [];
    let bits = 0, bitCount = 0;
    let codeSize = minCodeSize + 1, next = end + 1;
    let table = new Map();
    const emit = (code) => {
      bits |= code << bitCount;
      bitCount += codeSize;
      while (bitCount >= 8) {
        bytes.push(bits & 0xff);
        bits >>>= 8;
        bitCount -= 8;
      }
    };
    emit(clear);
    let prefix = indices[0];
    for (let i = 1; i < indices.length; i++) {
      const k = indices[i];
      const key = (prefix << 8) | k;
      const known = table.get(key);
      if (known !== undefined) {
        prefix = known;
        continue;
      }
      emit(prefix);
      if (next === 4096) {
        emit(clear);
        table = new Map();
        codeSize = minCodeSize + 1;
        next = end + 1;
      } else {
        if (next >= 1 << codeSize) codeSize++;
        table.set(key, next++);
      }
      prefix = k;
    }
    emit(prefix);
    emit(end);
    if (bitCount > 0) bytes.push(bits & 0xff);
    const out = [minCodeSize];
    for (let i = 0; i < bytes.length; i += 255) {
      const block = bytes.slice(i, i + 255);
      out.push(block.length, ...block);
    }
    out.push(0);
    return out;
  }

  // The frames of the last minute (virtual time) as a looping GIF, each
  // shown for as long as the display showed it, to the hundredth of a second.
  function gifOf(frames, untilMs) {
    const w = WIDTH * 2, h = HEIGHT * 2;
    const out = [];
    const push16 = (v) => out.push(v & 0xff, (v >> 8) & 0xff);
    out.push(..."GIF89a".split("").map((c) => c.charCodeAt(0)));
    push16(w);
    push16(h);
    out.push(0x80, 0, 0, ...PICTURE_UNLIT, ...PICTURE_LIT); // a global table of two colours
    out.push(0x21, 0xff, 11, ..."NETSCAPE2.0".split("").map((c) => c.charCodeAt(0)), 3, 1, 0, 0, 0);
    let carried = 0; // what the rounding of earlier delays left over, in ms
    frames.forEach((f, i) => {
      const endMs = i + 1 < frames.length ? frames[i + 1].ms : untilMs;
      const shownMs = Math.max(0, endMs - f.ms) + carried;
      const delay = Math.max(2, Math.round(shownMs / 10));
      carried = shownMs - delay * 10;
      out.push(0x21, 0xf9, 4, 0);
      push16(Math.min(delay, 65535));
      out.push(0, 0);
      out.push(0x2c);
      push16(0);
      push16(0);
      push16(w);
      push16(h);
      out.push(0);
      const indices = new Uint8Array(w * h);
      for (let y = 0; y < h; y++)
        for (let x = 0; x < w; x++)
          indices[y * w + x] = (f.frame[(y >> 4) * WIDTH + (x >> 1)] >> ((y >> 1) & 7)) & 1;
      for (const b of lzw(indices, 2)) out.push(b);
    });
    out.push(0x3b);
    return new Blob([new Uint8Array(out)], { type: "image/gif" });
  }

  function stamp() {
    return new Date(shownUtcSecond * 1000).toISOString().slice(0, 19).replace(/[-:]/g, "").replace("T", "-");
  }

  // --- For scripts driving the page ------------------------------------------

  // Resolves once the host has taken everything queued and waits for the
  // next frame, the display showing the pass that took the last of it.
  function whenSettled() {
    if (settledNow && !queue.length) return Promise.resolve();
    return new Promise((resolve) => settleWaiters.push(resolve));
  }

  function utcText(ms) {
    return new Date(ms).toISOString().slice(0, 19).replace("T", " ");
  }

  // "YYYY-MM-DD HH:MM[:SS]" (or with a T), UTC, to ms; NaN when it is not one.
  function parseUtc(text) {
    const m = /^\s*(\d{4})-(\d\d)-(\d\d)[T ](\d\d):(\d\d)(?::(\d\d))?\s*$/.exec(text);
    if (!m || +m[2] < 1 || +m[2] > 12 || +m[3] < 1 || +m[3] > 31 || +m[4] > 23 || +m[5] > 59 || +(m[6] || 0) > 59)
      return NaN;
    const ms = Date.UTC(+m[1], m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0));
    return new Date(ms).getUTCDate() === +m[3] ? ms : NaN;
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
    if (focus && (focus.id === "TrackBar6" || $("SimPanel").contains(focus) || $("FilePanel").contains(focus) ||
      $("ScriptPanel").contains(focus) || $("SessionPanel").contains(focus))) return;
    // The window's travel keys: Ctrl+Left and Right a second, with Shift a pass.
    if (e.ctrlKey && !e.altKey && !e.metaKey && (e.key === "ArrowLeft" || e.key === "ArrowRight")) {
      e.preventDefault();
      const step = e.shiftKey ? 1 : Math.ceil(1000 / frameMs);
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
      post(Ev.KEY, e.deltaY < 0 ? Key.CW : Key.CCW);
      return;
    }
    wheelRest += e.deltaY;
    while (wheelRest <= -notch) { wheelRest += notch; post(Ev.KEY, Key.CW); }
    while (wheelRest >= notch) { wheelRest -= notch; post(Ev.KEY, Key.CCW); }
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
    for (let i = 0; i < Math.abs(steps); i++) post(Ev.KEY, steps > 0 ? Key.CW : Key.CCW);
  });
  // A touch that did not move presses the key under it at once: the
  // browser may not turn a tap that follows a swipe into a click.
  const faceKeys = { Image3: Key.LEFT, Image5: Key.MENU, Image6: Key.RIGHT };
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

  // The simulated clock.
  function setPaused(on) {
    paused = on;
    post(Ev.PAUSE, paused ? 1 : 0);
    $("SimPause").textContent = paused ? "Resume" : "Pause";
    $("SimStep").disabled = $("SimStepSecond").disabled = !paused;
    showBadge();
  }
  function setSpeed(value) {
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
  const perSecond = () => Math.ceil(1000 / frameMs);
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
  $("SimSpeed").addEventListener("change", (e) => setSpeed(Number(e.target.value)));
  // The panel's buttons give the keyboard back to the instrument at once.
  for (const id of ["SimSetUtc", "SimPause", "SimStep", "SimStepSecond", "Share", "DownloadPng", "DownloadGif",
    "SaveState", "LoadState", "Record", "RunScript", "ScriptPick", "BackSecond", "BackPass", "ForwardPass",
    "ForwardSecond"])
    $(id).addEventListener("click", (e) => e.target.blur());
  showBadge();

  // Sharing, pictures and states.
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

  // Scripts: the runner of tmx5 run, compiled into the page (WebScript.cpp),
  // runs the script in a folder of the page's in-memory files holding the
  // files the user picked. What it wrote is offered for download, and the
  // page starts again from the state the script ended in, as from a link to
  // it, keeping the script, its result and its files.
  const SCRIPT_FOLDER = "/script";
  let picked = []; // [{ name, bytes }]: written into the folder before each run
  let scriptFiles = []; // [{ name, bytes }]: what the last run wrote
  const bytesToBase64 = (bytes) => {
    let s = "";
    for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return btoa(s);
  };
  const base64ToBytes = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
  const sameBytes = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);

  function showPicked() {
    $("ScriptPicked").textContent = picked.map((f) => f.name).join(", ");
  }

  function showScriptResult(result, files, missing) {
    $("ScriptResult").textContent = result;
    scriptFiles = files;
    const list = $("ScriptFiles");
    list.textContent = "";
    for (const f of files) {
      const a = document.createElement("a");
      a.href = URL.createObjectURL(new Blob([f.bytes]));
      a.download = f.name.replace(/^.*\//, "");
      a.textContent = `Download ${f.name}`;
      list.appendChild(a);
    }
    for (const name of missing) {
      const s = document.createElement("span");
      s.textContent = `${name}: not made (PNG/GIF files are not written in the page; use .pbm or the download buttons)`;
      list.appendChild(s);
    }
  }

  // Every file below the folder, by its name in it.
  function folderFiles(dir = SCRIPT_FOLDER, into = []) {
    for (const name of Module.FS.readdir(dir)) {
      if (name === "." || name === "..") continue;
      const full = `${dir}/${name}`;
      if (Module.FS.isDir(Module.FS.stat(full).mode)) folderFiles(full, into);
      else into.push(full.slice(SCRIPT_FOLDER.length + 1));
    }
    return into;
  }

  async function runScript() {
    if (frozen || typeof Module._WebRunScript !== "function") return;
    Module._WebScriptFolder();
    for (const f of picked) Module.FS.writeFile(`${SCRIPT_FOLDER}/${f.name}`, f.bytes);
    const text = $("ScriptText").value;
    const size = lengthBytesUTF8(text) + 1;
    const copy = Module._malloc(size);
    stringToUTF8(text, copy, size);
    Module._WebRunScript(copy);
    Module._free(copy);
    const result = UTF8ToString(Module._WebScriptResult());
    const files = [], missing = [];
    for (const name of folderFiles()) {
      const bytes = Module.FS.readFile(`${SCRIPT_FOLDER}/${name}`);
      const mine = picked.find((f) => f.name === name);
      if (mine && sameBytes(mine.bytes, bytes)) continue;
      if (bytes.length === 0) missing.push(name);
      else files.push({ name, bytes });
    }
    if (!Module._WebScriptRan()) {
      // Nothing ran: the instrument is as it was.
      showScriptResult(result, files, missing);
      return;
    }
    frozen = true;
    const endState = UTF8ToString(Module._WebScriptEndState());
    const keep = (list) => list.map((f) => ({ name: f.name, bytes: bytesToBase64(f.bytes) }));
    sessionStorage.setItem("tmx5-script", JSON.stringify({
      text, result, missing, files: keep(files), picked: keep(picked), fresh: !endState,
    }));
    location.hash = endState ? await linkFragment(endState) : "";
    location.reload();
  }

  click("RunScript", runScript);
  click("ScriptPick", () => $("ScriptPickFiles").click());
  $("ScriptPickFiles").addEventListener("change", async (e) => {
    picked = await Promise.all([...e.target.files].map(async (f) => ({
      name: f.name, bytes: new Uint8Array(await f.arrayBuffer()),
    })));
    showPicked();
  });
  // The script run before this page reloaded.
  const kept = sessionStorage.getItem("tmx5-script");
  sessionStorage.removeItem("tmx5-script");
  if (kept) {
    try {
      const k = JSON.parse(kept);
      const unkeep = (list) => list.map((f) => ({ name: f.name, bytes: base64ToBytes(f.bytes) }));
      $("ScriptText").value = k.text;
      picked = unkeep(k.picked);
      showPicked();
      showScriptResult(k.result, unkeep(k.files), k.missing);
      if (k.fresh) notice("The script ended in the instrument's splash; the simulator starts afresh.");
    } catch (e) {
      // A record this page cannot read: the panel starts empty.
    }
  }

  return {
    Ev, Key, LIT, UNLIT, post, timeline, get session() { return { ...session }; }, peek, take, takeStep, sleep, draw, history, lamp, label15, controls, yielded, whenSettled,
    initialState, stateCaptured, stateRefused, captureState, parseUtc, recorded, recordRefused,
    started: started_, get isStarted() { return started; }, get queued() { return queue.length; },
    get lastDownload() { return lastDownload; }, get downloads() { return downloads; },
    get scriptFiles() { return scriptFiles; }, setScriptFiles(list) { picked = list; showPicked(); },
  };
})();

// The Emscripten glue reads its settings from Module.
var Module = {
  onAbort: (what) => {
    document.getElementById("StatusBar1").textContent = "The instrument stopped: " + what;
  },
};
