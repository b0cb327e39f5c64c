// The display as files: a PNG of the frame shown and a GIF of the last
// minute, both twice the display's size as the runner's pictures are.

import { WIDTH, HEIGHT } from "./display.js";

// The display as the runner's pictures show it: twice its size, lit
// pixels black on the grey of an unlit segment.
const PICTURE_LIT = [0, 0, 0];
const PICTURE_UNLIT = [200, 200, 200];
export function pngOf(frame) {
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
export function gifOf(frames, untilMs) {
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
