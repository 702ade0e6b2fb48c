// Shared by the page tests: exact checks and the places a page works in.

function show(value) {
  return typeof value === "string" ? JSON.stringify(value) : String(value);
}

function check(actual, expected, what) {
  if (actual !== expected) {
    throw new Error(what + ": expected " + show(expected) + ", got " + show(actual));
  }
}

// Runs `action`, which must fail with exactly this number and description (and source, if given).
function checkError(action, number, description, source, what) {
  try {
    action();
  } catch (e) {
    check(e.number, number, what + ": number");
    check(e.description, description, what + ": description");
    check(e.message, description, what + ": message");
    if (source !== undefined) check(e.source, source, what + ": source");
    return;
  }
  throw new Error(what + ": no error raised");
}

var server = host.env("VELMARIS_SERVER");
var serverRoot = host.env("VELMARIS_SERVER_ROOT");
var work = host.args[0];

// Writes a local file for the page to upload and returns its path.
function localFile(name, text) {
  var path = work + "/" + name;
  host.writeFile(path, text);
  return path;
}

// What the server recorded for each upload, oldest first.
function uploads() {
  var lines;
  try {
    lines = host.readFile(serverRoot + "/uploads.jsonl").split("\n");
  } catch (e) {
    return [];
  }
  var records = [];
  for (var i = 0; i < lines.length; ++i) {
    if (lines[i] !== "") records.push(JSON.parse(lines[i]));
  }
  return records;
}

function newControl() {
  return new ActiveXObject("VelmarisClient.FileUpload");
}
