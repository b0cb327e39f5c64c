// The instrument as the host draws it: the display canvas, the warning lamp
// and Label15.

import { $ } from "./ui.js";

// Lit pixels are black; unlit ones the grey of the window under Debian's
// default Qt style (Fusion), whose inactive window colour is 239, 239, 239.
export const LIT = [0, 0, 0];
export const UNLIT = [239, 239, 239];
export const WIDTH = 114, HEIGHT = 64, SCALE = 2;

// The frame the display shows, 912 bytes in the frame buffer's page format.
export let shownFrame = new Uint8Array(912);
let lampColour = "";

const canvas = $("Image1");
const context = canvas.getContext("2d");
const picture = context.createImageData(canvas.width, canvas.height);
for (let i = 0; i < picture.data.length; i += 4) picture.data.set([...UNLIT, 255], i);
context.putImageData(picture, 0, 0);

// Each display pixel (x, y) is lit when bit y mod 8 of byte (y div 8) x 114
// + x is set, and becomes a 2 x 2 block of the canvas; the last column and
// the last five rows of the canvas stay unlit.
export function draw(frame) {
  shownFrame = frame.slice();
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

export function lamp(red, green, blue) {
  const colour = `rgb(${red}, ${green}, ${blue})`;
  if (colour === lampColour) return;
  lampColour = colour;
  $("Shape1").style.backgroundColor = colour;
}

// TrackBar6Change has run: the label shows the position the host took.
export function label15(position) {
  $("Label15").textContent = String(position);
}
