// FileUpload given paths that name no file it can send, strings of 10 MB, NUL characters and
// values of other types: each bad path fails with its own error before anything is sent (a NUL
// never cuts a path short onto another file), text goes to the server whole, other types convert
// as documented, and the next upload works.
// uncaught: thrown inside a wait
host.include("lib/assert.js");

var control = newControl();
var file = localFile("a.txt", "AAA");
localFile("folder/inside.txt", "x");
var url = server + "/upload.asp";
var tenMb = 10 * 1024 * 1024;
var big = longText("x", tenMb);

function lastUpload() {
  var records = uploads();
  return records[records.length - 1];
}

// Paths that must not be sent: the error, and nothing reaches the server.
var badPaths = [
  {what: "a missing file", path: work + "/missing.txt", number: 0x800A0035 | 0,
   description: "文件未找到"},
  // Opened as the package is written, a folder is a path/file access error; both say what it is.
  {what: "a folder", path: work + "/folder", number: 0x800A0035 | 0,
   description: "这是一个文件夹，不是文件",
   written: {number: 0x800A004B | 0, description: "这是一个文件夹，不是文件"}},
  {what: "a NUL after the name", path: file + "\0.bak", number: 0x800A0034 | 0,
   description: "错误的文件名或号码"},
  {what: "a NUL inside the name", path: work + "/a\0.txt", number: 0x800A0034 | 0,
   description: "错误的文件名或号码"},
  {what: "a lone surrogate", path: work + "/a\uD800.txt", number: 0x800A0034 | 0,
   description: "错误的文件名或号码"},
  // No file has such a name; the system refuses it as a name when it is opened.
  {what: "a path of 10 MB", path: big, number: 0x800A0035 | 0, description: "文件未找到",
   written: {number: 0x800A0034 | 0, description: "错误的文件名或号码"}}
];
// A device is no file to send: it would feed the package without end. (Windows names its devices
// outside the paths a page gives.)
if (PATH_SEP === "/") {
  badPaths.push({what: "a device", path: "/dev/zero", number: 0x800A004B | 0,
                 description: "路径/文件访问错误"});
}
var sent = requestCount();
// A kernel's status file measures as empty but gives bytes: it cannot be announced, so it is
// refused rather than sent empty and reported as sent.
if (PATH_SEP === "/") {
  checkError(function () { control.StartUpload("d", url, "/proc/self/status", 1); },
             0x800A004B | 0, "系统报告该文件为空，但读出了内容，无法确定其大小：/proc/self/status",
             "VelmarisClient", "StartUpload of a status file");
}
for (var i = 0; i < badPaths.length; ++i) {
  var c = badPaths[i];
  control.NewFileName = "before";
  checkError(function () { control.StartUpload("d", url, c.path, 1); }, c.number, c.description,
             "VelmarisClient", "StartUpload of " + c.what);
  check(control.NewFileName, "before", "NewFileName after StartUpload of " + c.what);
  checkError(function () { control.GetFileSize(c.path); }, c.number, c.description,
             "VelmarisClient", "GetFileSize of " + c.what);
  // Added to a package, the path fails when the package is written (a fresh control each time:
  // the package keeps what was added until a start method empties it).
  var fresh = newControl();
  var written = c.written || c;
  fresh.AddUploadFile("part", c.path);
  for (var attempt = 1; attempt <= 2; ++attempt) {
    checkError(function () { fresh.UploadFile(); }, written.number, written.description,
               "VelmarisClient", "UploadFile of " + c.what + ", attempt " + attempt);
  }
}
check(requestCount(), sent, "none of the bad paths reached the server");
check(control.GetFileSize(file), 3, "the file the NUL paths start with is still there");

control.StartUpload("d", url, file, 1);
check(control.NewFileName, "/files/d/a.txt", "upload after the bad paths");

// NUL characters in the texts of the package travel whole.
control.StartUpload("d\0e", url, file, 1);
check(JSON.stringify(lastUpload().fields), JSON.stringify([["curPath", "d\0e/"], ["contentid", "1"]]),
      "a folder with a NUL");
control.NewFileName = "waiting";
control.addFormData("a\0b", "v\0w");
control.UploadFile();
for (var wait = 0; wait < 250 && control.NewFileName === "waiting"; ++wait) host.pump(20);
check(control.NewFileName, lastUpload().address, "the reply of the package sent as it stood");
check(JSON.stringify(lastUpload().fields[2]), JSON.stringify(["a\0b", "v\0w"]),
      "a field with NULs");

// Strings of 10 MB: taken whole, the server's answer kept as any other.
control.NewFileName = big;
check(control.NewFileName.length, tenMb, "NewFileName of 10 MB");
check(control.NewFileName === big, true, "NewFileName of 10 MB read back");
control.addFormData(big, big);
checkError(function () { control.addFormData(big.toUpperCase(), "again"); }, 0x800A01C9 | 0,
           "此键已经与该集合的一个元素相关联", undefined, "a 10 MB field name twice");
sent = requestCount();
control.StartUpload(big, url, file, 1);
check(requestCount(), sent + 1, "a 10 MB folder is sent");
check(host.readFile(serverRoot + "/requests/" + ("00000" + (sent + 1)).slice(-6) + ".http")
          .indexOf(longText("x", 4096) + "/\r\n") > 0, true, "the folder field, whole");
// The server cannot store below a folder of that name: its answer is an error status.
check(control.NewFileName, "Error", "reply to a 10 MB folder");
control.StartUpload("d", server + "/" + big, file, 1);
check(control.NewFileName, "Error", "a 10 MB request path, refused by the server");
var shown = host.messages.length;
control.StartUpload("d", "http://" + big + "/upload.asp", file, 1);
check(control.NewFileName, "Error", "a host name of 10 MB");
check(host.messages.length, shown + 1, "one box for the host name");
check(host.messages[shown].text, "找不到主机", "the box for the host name");

// Other types where text and numbers go convert as the classic runtime converts them.
var conversions = [
  {sf: true, contentid: "2.5", fields: [["curPath", "True/"], ["contentid", "2"]]},
  {sf: 12.5, contentid: " 3.5 ", fields: [["curPath", "12.5/"], ["contentid", "4"]]},
  {sf: -0, contentid: false, fields: [["curPath", "0/"], ["contentid", "0"]]},
  {sf: 1e21, contentid: true, fields: [["curPath", "1E+21/"], ["contentid", "-1"]]},
  {sf: "", contentid: "-2147483648", fields: [["curPath", "/"], ["contentid", "-2147483648"]]}
];
for (var k = 0; k < conversions.length; ++k) {
  var v = conversions[k];
  control.StartUpload(v.sf, url, file, v.contentid);
  check(JSON.stringify(lastUpload().fields), JSON.stringify(v.fields),
        "fields for " + String(v.sf) + ", " + JSON.stringify(v.contentid));
}
// A start made by a timer while the control waits for its reply is refused; the waiting upload
// keeps its own reply.
var nested = null;
host.later(100, function () {
  try {
    control.StartUpload("inner", url, file, 2);
    nested = "accepted";
  } catch (e) {
    nested = e.number + " " + e.description;
  }
});
control.StartUpload("outer", server + "/_fault/slow-500/upload.asp", file, 1);
check(nested, (0x800A0005 | 0) + " 上一次传输尚未结束", "the start from inside the wait");
check(control.NewFileName, "/files/outer/a.txt", "the waiting upload's reply");

// Timers that each start another control's upload inside the waits of the ones before: past a
// fixed depth the innermost start fails with "out of stack space", which the page catches, and
// every upload that did start keeps its own reply.
var chain = [];
var deepest = null;
function startNested() {
  if (deepest !== null) return;  // the later the refused start had asked for
  var c = newControl();
  chain.push(c);
  host.later(1, startNested);
  try {
    c.StartUpload("deep", server + "/_fault/slow-100/upload.asp", file, chain.length);
  } catch (e) {
    if (deepest === null) deepest = e.number + " " + e.description;
    chain.pop();
  }
}
startNested();
check(deepest, (0x800A001C | 0) + " 堆栈空间不足", "the start nested too deep");
check(chain.length > 10, true, "nested starts before the limit (" + chain.length + ")");
// Each went up as a file of its own: the replies are the server's answers, each once.
var answers = {};
var records = uploads();
for (var r = 0; r < records.length; ++r) {
  if (field(records[r], "curPath") === "deep/") answers[records[r].address] = true;
}
for (var n = 0; n < chain.length; ++n) {
  check(answers[chain[n].NewFileName], true, "the reply of nested upload " + n);
  delete answers[chain[n].NewFileName];
}

// Three timers edit the package of a control whose 20 MB upload is under way (its boundary is
// chosen while the loop runs): every edit inside the upload's waits is refused, and the request
// carries exactly what it started with.
var bigFile = localFile("big.bin", longText("b", 20 * 1024 * 1024));
var edits = [
  editDuring(function (k) { control.addFormData("field" + k, longText("v", 1000)); }),
  editDuring(function (k) { control.addFormData("other" + k, "v"); }),
  editDuring(function (k) { control.AddUploadFile("extra" + k, file); })
];
control.StartUpload("big", url, bigFile, 1);
for (var e = 0; e < edits.length; ++e) checkRefusedEdits(edits[e], "timer " + e);
check(control.NewFileName, "/files/big/big.bin", "the upload edited from timers");
check(JSON.stringify(lastUpload().fields), JSON.stringify([["curPath", "big/"], ["contentid", "1"]]),
      "the fields of the upload edited from timers");
check(host.readFile(serverRoot + "/files/big/big.bin").length, 20 * 1024 * 1024,
      "the file of the upload edited from timers");

// A timer that throws inside the wait of a start has nobody to catch its error: the run reports
// it with its own text (and ends in failure), while the waiting upload goes on to its reply.
host.later(100, function () {
  throw new Error("thrown inside a wait");
});
control.StartUpload("ZZZ-folder", server + "/_fault/slow-500/upload.asp", file, 1);
check(control.NewFileName, "/files/ZZZ-folder/a.txt", "the upload a failing timer ran inside");

control.StartUpload("last", url, file, 1);
check(control.NewFileName, "/files/last/a.txt", "the last upload");
