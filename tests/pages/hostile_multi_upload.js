// MultiUpload given addresses it cannot use, a folder that is not there, NUL characters and a
// file that vanishes after the walk listed it: each ends with a clear error, nothing is reported
// as sent that was not, and the next walk sends the whole tree.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.MultiUpload");
var form = host.form(control);
var url = server + "/upload.asp";

function boxesSince(count) {
  var shown = host.messages.slice(count);
  var boxes = [];
  for (var i = 0; i < shown.length; ++i) {
    if (shown[i].kind === "msgbox") boxes.push(shown[i].text);
  }
  return JSON.stringify(boxes);
}
function storedNames() {
  var records = uploads();
  var names = [];
  for (var i = 0; i < records.length; ++i) names.push(records[i].files[0].name);
  return JSON.stringify(names);
}
function pick(folder) {
  host.answerFolder(folder);
  form.click("Command1");
}

// Addresses: refused before anything is kept.
var badAddresses = [
  {url: "ftp://127.0.0.1/", number: 0x80040000 | 0, description: "错误的URL", source: "Error"},
  {url: url + "\0/x", number: 0x80040000 | 0, description: "错误的URL", source: "Error"},
  {url: "http://127.0.0.1:12a/", number: 0x800A000D | 0, description: "类型不匹配",
   source: "VelmarisClient"},
  {url: "http://127.0.0.1:70000/", number: 0x800A0006 | 0, description: "溢出",
   source: "VelmarisClient"},
  {url: "http://127.0.0.1:99999999999/", number: 0x800A0006 | 0, description: "溢出",
   source: "VelmarisClient"}
];
for (var i = 0; i < badAddresses.length; ++i) {
  var c = badAddresses[i];
  checkError(function () { control.StartUpload("up", c.url); }, c.number, c.description, c.source,
             JSON.stringify(c.url));
}
check(form.get("Command2").enabled, false, "no run can start on a refused address");

// A folder that is not there: the run says so and sends nothing.
var shown = host.messages.length;
pick(work + "/gone");
control.StartUpload("up", url);
form.click("Command2");
check(boxesSince(shown), JSON.stringify(["路径未找到"]), "a folder that is not there");
check(requestCount(), 0, "nothing sent for a missing folder");

// A file picked where a folder is expected: the same.
localFile("plain.txt", "P");
shown = host.messages.length;
pick(work + "/plain.txt");
form.click("Command2");
check(boxesSince(shown), JSON.stringify(["路径未找到"]), "a file picked as the folder");
check(requestCount(), 0, "nothing sent for a file picked as the folder");

// A file that vanishes while the walk is under way: the walk stops at it with the error, what
// went before is on the server, nothing after it is, and no completion is claimed.
localFile("t/a.txt", "A");
localFile("t/b.txt", "B");
localFile("t/c.txt", "C");
shown = host.messages.length;
pick(work + "/t");
control.StartUpload("u\0p", url);
host.later(0, function () { host.removeFile(work + "/t/b.txt"); });
form.click("Command2");
check(boxesSince(shown), JSON.stringify(["文件未找到"]), "b.txt vanished");
check(form.get("lblFileName").text, "正在发送文件:b.txt", "the file the walk stopped at");
check(storedNames(), JSON.stringify(["a.txt"]), "only a.txt went up");
// The server directory with its NUL went whole.
check(JSON.stringify(uploads()[0].fields), JSON.stringify([["path", "u\0p/"]]), "the path field");

// The file is back: the next walk sends the whole tree.
localFile("t/b.txt", "B");
shown = host.messages.length;
pick(work + "/t");
// Each file answered slowly, so the walk spans many of the timer's turns however coarse the
// system's timers are.
control.StartUpload("up", server + "/_fault/slow-150/upload.asp");
// The walk owns its package from start to end: a timer's edits are refused all along.
var edits = editDuring(function (k) { control.addFormData("x" + k, "v"); });
form.click("Command2");
checkRefusedEdits(edits, "addFormData during the walk");
check(boxesSince(shown), JSON.stringify(["所有文件上传完成."]), "the next walk");
check(storedNames(), JSON.stringify(["a.txt", "a.txt", "b.txt", "c.txt"]), "the whole tree");

// The package members: paths that name no file fail as the package is written.
var other = new ActiveXObject("VelmarisClient.MultiUpload");
other.AddUploadFile("x", work + "/t/a.txt\0.bak");
checkError(function () { other.UploadFile(); }, 0x800A0034 | 0, "错误的文件名或号码",
           "VelmarisClient", "a path with a NUL");
var third = new ActiveXObject("VelmarisClient.MultiUpload");
third.AddUploadFile("x", work + "/t/missing.txt");
checkError(function () { third.UploadFile(); }, 0x800A0035 | 0, "文件未找到", "VelmarisClient",
           "a missing file");
check(requestCount(), 4, "nothing more was sent");
