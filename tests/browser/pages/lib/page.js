// Shared by the browser pages: the run's places from the address, the bridge's client loaded from
// the bridge itself, exact checks, and the report the runner waits for (window.__result).

const params = new URLSearchParams(location.search);
const bridgePort = Number(params.get("bridge"));
const server = params.get("server");
const folder = params.get("folder");
const pictures = params.get("pictures");

function show(value) {
  return typeof value === "string" ? JSON.stringify(value) : String(value);
}

function check(actual, expected, what) {
  if (actual !== expected) {
    throw new Error(what + ": expected " + show(expected) + ", got " + show(actual));
  }
}

// Awaits `action()`, which must fail with exactly this number, description and source, each
// unless null. Returns the error.
async function checkError(action, number, description, source, what) {
  let error;
  try {
    await action();
  } catch (e) {
    error = e;
  }
  if (error === undefined) throw new Error(what + ": no error raised");
  check(error instanceof Error, true, what + ": an Error");
  check(typeof error.number, "number", what + ": a number");
  if (number !== null) check(error.number, number, what + ": number");
  check(error.message, error.description, what + ": message is the description");
  if (description !== null) check(error.description, description, what + ": description");
  if (source !== null) check(error.source, source, what + ": source");
  return error;
}

// The classic client, as a site loads it: a script element pointing at the helper.
function loadClient() {
  return new Promise((resolve, reject) => {
    const script = document.createElement("script");
    script.src = "http://127.0.0.1:" + bridgePort + "/velmaris.js";
    script.onload = () => resolve(window.Velmaris);
    script.onerror = () => reject(new Error("the bridge did not serve velmaris.js"));
    document.head.appendChild(script);
  });
}

// Runs the page's test and reports how it ended; `facts` it returns go to the runner as well.
function run(test) {
  window.addEventListener("load", async () => {
    try {
      const facts = await test();
      window.__result = Object.assign({ok: true}, facts || {});
    } catch (e) {
      window.__result = {ok: false, error: (e && e.stack) || String(e)};
    }
  });
}

// Waits until `test()` gives something truthy, which it returns; fails naming `what` after
// `seconds`.
async function waitFor(test, what, seconds = 30) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > end) throw new Error("timed out waiting for " + what);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// The element of a form's child, by its name.
function child(root, name) {
  return root.querySelector('[data-name="' + name + '"]');
}

// Types into a text box as a person would: its value changes and the page hears an input.
function type(root, name, text) {
  const box = child(root, name);
  box.focus();
  box.value = text;
  box.dispatchEvent(new Event("input", {bubbles: true}));
}

// Chooses entries of a drop-down or list in the page, as a person's pick tells the page.
function pick(root, name, indexes) {
  const list = child(root, name);
  Array.from(list.options).forEach((option) => {
    option.selected = indexes.includes(Number(option.value)) && option.value !== "";
  });
  list.dispatchEvent(new Event("change", {bubbles: true}));
}
