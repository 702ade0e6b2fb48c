// Shared by the page tests: exact checks and the places a page works in.

function show(value) {
  return typeof value === "string" ? JSON.stringify(value) : String(value);
}

function check(actual, expected, what) {
  if (actual !== expected) {
    throw new Error(what + ": expected " + show(expected) + ", got " + show(actual));
  }
}

// The engine the page runs on: the Windows host's is the system's JScript, the Linux host's
// Duktape. JScript gives its errors no source; Duktape's carry the control's.
var jscript = typeof ScriptEngine === "function";
var errorsCarrySource = !jscript;

// The text of an error the engine makes itself from a refused call: the host's on Duktape; on
// JScript the engine's own, which the page does not check (null).
function engineText(text) {
  return jscript ? null : text;
}

// Runs `action`, which must fail with exactly this number and description (unless null) and
// source (if given).
function checkError(action, number, description, source, what) {
  try {
    action();
  } catch (e) {
    check(e.number, number, what + ": number");
    if (description !== null) {
      check(e.description, description, what + ": description");
      check(e.message, description, what + ": message");
    }
    if (source !== undefined && errorsCarrySource) check(e.source, source, what + ": source");
    return;
  }
  throw new Error(what + ": no error raised");
}

var server = host.env("VELMARIS_SERVER");
var serverRoot = host.env("VELMARIS_SERVER_ROOT");
var work = host.args[0];
// The system's own separator in the paths a page makes: on Windows the controls give back
// backslashes whatever separator a path came with.
var PATH_SEP = /^[A-Za-z]:\\/.test(work) ? "\\" : "/";

// Writes a local file for the page to upload and returns its path.
function localFile(name, text) {
  var path = work + PATH_SEP + name.replace(/\//g, PATH_SEP);
  host.writeFile(path, text);
  return path;
}

// A record the server wrote. Wine's JScript ends a string at an escaped NUL when it parses JSON:
// there the NULs travel through a noncharacter and are put back.
function parseRecord(text) {
  if (JSON.parse('"a\\u0000b"').length === 3) return JSON.parse(text);
  return JSON.parse(text.replace(/\\u0000/g, "\\ufdd0"), function (key, value) {
    return typeof value === "string" ? value.replace(/\ufdd0/g, "\u0000") : value;
  });
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
    if (lines[i] !== "") records.push(parseRecord(lines[i]));
  }
  return records;
}

// Article n as the server stored it (numbered from 1).
function article(n) {
  return parseRecord(host.readFile(serverRoot + "/articles/" + ("00000" + n).slice(-6) + ".json"));
}

// The value of the field `name` in an upload's or an article's record.
function field(record, name) {
  for (var i = 0; i < record.fields.length; ++i) {
    if (record.fields[i][0] === name) return record.fields[i][1];
  }
  return undefined;
}

// What the office import ends every article page with.
var SEPARATOR = "----abcdefghijklmnopqrstuvwxyz----";

function newControl() {
  return new ActiveXObject("VelmarisClient.FileUpload");
}

// How many requests the server has recorded so far, whole or cut short.
function requestCount() {
  var n = 0;
  for (;;) {
    var name = String(n + 1);
    while (name.length < 6) name = "0" + name;
    try {
      host.readFile(serverRoot + "/requests/" + name + ".http");
    } catch (e) {
      return n;
    }
    ++n;
  }
}

// The error numbers of calls that fail before the control runs: the script engine's numbers
// for a call the interface refuses, and the host's own for a script value with no counterpart.
var E = {
  typeMismatch: 0x80020005 | 0,     // a value that does not convert to the parameter's type
  overflow: 0x8002000A | 0,         // a number beyond the parameter's range
  paramCount: 0x8002000E | 0,       // too few or too many arguments
  notOptional: 0x8002000F | 0,      // a required argument given as undefined
  hostTypeMismatch: 0x800A000D | 0  // a script object or array that is no control
};

// Calls `edit(k)` (k = 1, 2, ...) from a timer every millisecond until the tally's `running` is
// set false, counting the calls refused because the control's transfer or run is under way and
// listing any other failure. Accepted calls are not counted: they came between runs.
function editDuring(edit) {
  var tally = {running: true, refused: 0, other: []};
  var k = 0;
  function tick() {
    if (!tally.running) return;
    try {
      edit(++k);
    } catch (e) {
      if (e.number === (0x800A0005 | 0) && e.description === "上一次传输尚未结束") {
        ++tally.refused;
      } else {
        tally.other.push(e.number + " " + e.description);
      }
    }
    host.later(1, tick);
  }
  host.later(1, tick);
  return tally;
}

// Checks what editDuring met: refusals only, at least one.
function checkRefusedEdits(tally, what) {
  tally.running = false;
  check(tally.other.join("; "), "", what + ": no failure but the refusal");
  check(tally.refused > 0, true, what + ": edits refused while it ran (" + tally.refused + ")");
}

// A text of `length` copies of `unit` (a single character), built by doubling.
function longText(unit, length) {
  var text = unit;
  while (text.length < length) text += text;
  return text.slice(0, length);
}
