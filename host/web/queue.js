// The queue of what the user did, and the host's sleep.
//
// The controls only queue what the user did; the instrument takes the queue
// at its event points, between passes, the way the window runs its event
// handlers only inside PumpEvents. Between event points the host sleeps
// here, and an input wakes it early.

// Event codes shared with WebHost.h.
export const Ev = {
  ON: 1, OFF: 2, KEY: 3, SENSOR: 4, CALIBRATE: 5, KEYFAST: 6, SET_UTC: 7, PAUSE: 8, STEP: 9, SPEED: 10, CAPTURE: 11, RECORD: 12, HISTORY: 13, TRAVEL: 14,
};

const queue = [];
const settleWaiters = [];
let wake = null; // ends the host's sleep early: an input arrived
let settledNow = false; // the host sleeps with nothing queued, the display showing its last pass

// A key goes in as the word the scripts' key command takes ("menu", "cw",
// "ccw", "left", "right") and reaches the host as the instrument's code.
export function post(code, argument = 0) {
  queue.push([code, argument]);
  if (wake) wake();
}

export const queued = () => queue.length;

// The instrument's key codes by their words, as the host defines them; read
// when the host takes its first key.
let keyCodes = null;
function keyCode(word) {
  if (!keyCodes) {
    keyCodes = new Map(UTF8ToString(Module._WebKeyCodes()).split("|").map((pair) => {
      const [name, code] = pair.split("=");
      return [name, Number(code)];
    }));
  }
  const code = keyCodes.get(word);
  if (code === undefined) throw new Error(`the instrument has no key "${word}"`);
  return code;
}

// --- Called by the host ----------------------------------------------------

export function peek() {
  return queue.length ? queue[0][0] : 0;
}

export function take() {
  const e = queue.shift() || [0, 0];
  return e[0] === Ev.KEY ? [Ev.KEY, keyCode(e[1])] : e;
}

// Takes the first step in the queue, ahead of inputs the host holds back.
export function takeStep() {
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
export const freeze = () => { frozen = true; };
export const isFrozen = () => frozen;
channel.port1.onmessage = () => {
  const resolve = immediate.shift();
  if (!frozen) resolve();
};
export function sleep(ms) {
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

// The host is about to sleep until its next frame.
export function hostWaits() {
  if (queue.length) return;
  settledNow = true;
  settleWaiters.splice(0).forEach((resolve) => resolve());
}

// --- For scripts driving the page ------------------------------------------

// Resolves once the host has taken everything queued and waits for the
// next frame, the display showing the pass that took the last of it.
export function whenSettled() {
  if (settledNow && !queue.length) return Promise.resolve();
  return new Promise((resolve) => settleWaiters.push(resolve));
}
