// The script panel: a scenario run in the page.
//
// The runner of tmx5 run, compiled into the page (WebScript.cpp), runs the
// script in a folder of the page's in-memory files holding the files the
// user picked. What it wrote is offered for download, and the page starts
// again from the state the script ended in, as from a link to it, keeping
// the script, its result and its files.

import { freeze, isFrozen } from "./queue.js";
import { linkFragment, base64, unbase64 } from "./links.js";
import { $, click, notice } from "./ui.js";

const SCRIPT_FOLDER = "/script";
let picked = []; // [{ name, bytes }]: written into the folder before each run
export let scriptFiles = []; // [{ name, bytes }]: what the last run wrote
const sameBytes = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);

function showPicked() {
  $("ScriptPicked").textContent = picked.map((f) => f.name).join(", ");
}

// The files the next run reads, as if the user had picked them.
export function pickFiles(list) {
  picked = list;
  showPicked();
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
  if (isFrozen() || typeof Module._WebRunScript !== "function") return;
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
  freeze();
  const endState = UTF8ToString(Module._WebScriptEndState());
  const keep = (list) => list.map((f) => ({ name: f.name, bytes: base64(f.bytes) }));
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
    const unkeep = (list) => list.map((f) => ({ name: f.name, bytes: unbase64(f.bytes) }));
    $("ScriptText").value = k.text;
    picked = unkeep(k.picked);
    showPicked();
    showScriptResult(k.result, unkeep(k.files), k.missing);
    if (k.fresh) notice("The script ended in the instrument's splash; the simulator starts afresh.");
  } catch (e) {
    // A record this page cannot read: the panel starts empty.
  }
}
