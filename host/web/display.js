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

// The host hands over the frame as the instrument drew it (kept for the
// PNG download) and its magnified picture, RGBA, which fills the top left
// of the canvas; the last column and the last five rows stay unlit.
export function draw(frame, rgba) {
  shownFrame = frame.slice();
  context.putImageData(new ImageData(new Uint8ClampedArray(rgba), WIDTH * SCALE, HEIGHT * SCALE), 0, 0);
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
