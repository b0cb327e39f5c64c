// What every panel of the page uses: finding an element, a click handler,
// the notice above the panels and downloads.

export const $ = (id) => document.getElementById(id);

export const click = (id, handler) => $(id).addEventListener("click", handler);

export function notice(text) {
  const n = $("Notice");
  n.textContent = text;
  n.hidden = !text;
}

// The last download, for scripts driving the page.
export let lastDownload = null;
export let downloads = 0;
export function download(name, blob) {
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
