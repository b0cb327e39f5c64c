// Links that open the simulator in a state: writing a state file's text
// into a link's fragment, and reading the one the page was opened with.
//
// A link's fragment: the version tag, the speed, the paused flag, the
// host clock's UTC in ms, the CRC-32 of the state file's text (so that a
// link changed on its way is refused, not read as another state), then
// the text itself, deflated and in base64url.

import { paused, speed, setPaused, setSpeed } from "./clock.js";
import { notice } from "./ui.js";

const LINK_TAG = "tmx5-1";
const SPEEDS = ["1", "10", "60", "600", "0"];

async function deflate(text) {
  const stream = new Blob([text]).stream().pipeThrough(new CompressionStream("deflate-raw"));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

async function inflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate-raw"));
  return new TextDecoder("utf-8", { fatal: true }).decode(await new Response(stream).arrayBuffer());
}

export function base64(bytes) {
  let s = "";
  for (let i = 0; i < bytes.length; i += 8192) s += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return btoa(s);
}

export const unbase64 = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));

function base64url(bytes) {
  return base64(bytes).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

function unbase64url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new Error("not base64url");
  return unbase64(text.replace(/-/g, "+").replace(/_/g, "/"));
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

export async function linkFragment(stateText) {
  const utc = /^HostUtcMs (-?\d+)$/m.exec(stateText);
  return `#${LINK_TAG}.${speed}.${paused ? 1 : 0}.${utc ? utc[1] : 0}.${crc32(stateText)}.` +
    base64url(await deflate(stateText));
}

// What the page was opened with: the state text of a link, or null for a
// fresh start. A link the page cannot read says so and starts fresh. The
// link's speed and pause are queued for the host's first event point.
export async function initialState() {
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
