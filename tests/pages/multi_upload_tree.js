// MultiUpload walks the picked folder file by file: a folder's files first, then each subfolder,
// "Thumbs.db" left out (that exact name only), the "path" field mirroring the tree below the
// directory the page named. The start button is ready only once both the folder and the
// directory are known.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.MultiUpload");
var form = host.form(control);

function lastMessage() {
  var shown = host.messages;
  return shown[shown.length - 1];
}

// An empty tree, picked before the page names the directory.
host.answerFolder(work);
form.click("Command1");
check(form.get("txtDir").text, work + "\\", "the folder shown");
check(form.get("Command2").enabled, false, "picked before StartUpload");
control.StartUpload("empty", server + "/upload.asp");
check(form.get("Command2").enabled, true, "ready once the directory is named");
form.click("Command2");
check(uploads().length, 0, "empty tree: requests");
check(form.get("pb").value, 100, "empty tree: progress");
check(lastMessage().text, "所有文件上传完成.", "empty tree: completion message");
check(form.get("Command2").enabled, false, "after the run");

// The tree: a.txt and Thumbs.db at the top, b.txt and a lower-case thumbs.db in s.
localFile("t/a.txt", "A");
localFile("t/Thumbs.db", "cache");
localFile("t/s/b.txt", "B");
localFile("t/s/thumbs.db", "lower");
host.answerFolder(work + PATH_SEP + "t");
form.click("Command1");
control.StartUpload("up", server + "/upload.asp");
form.click("Command2");
var expected = [["up/", "a.txt", "A"], ["up/s/", "b.txt", "B"], ["up/s/", "thumbs.db", "lower"]];
var records = uploads();
check(records.length, expected.length, "one request per file");
for (var i = 0; i < expected.length; ++i) {
  var e = expected[i];
  check(JSON.stringify(records[i].fields), JSON.stringify([["path", e[0]]]), e[1] + " fields");
  check(records[i].files[0].name, e[1], e[1] + " part name");
  check(records[i].files[0].filename, work + PATH_SEP + "t" + PATH_SEP + (e[0] === "up/" ? "" : "s" + PATH_SEP) + e[1],
        e[1] + " part filename");
  check(host.readFile(serverRoot + "/files/" + e[0] + e[1]), e[2], e[1] + " stored");
  var raw = host.readFile(serverRoot + "/requests/00000" + (i + 1) + ".http");
  check(raw.indexOf("filename=") < raw.indexOf('name="path"'), true, e[1] + " file part first");
}
checkError(function () { host.readFile(serverRoot + "/files/up/Thumbs.db"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "Thumbs.db not sent");
check(form.get("lblFileName").text, "正在发送文件:thumbs.db", "the last file named");
check(lastMessage().text, "所有文件上传完成.", "completion message");

// A cancelled picker empties the folder; the start button, still enabled, then does nothing.
host.answerFolder(work + PATH_SEP + "t");
form.click("Command1");
host.answerFolder(null);
form.click("Command1");
check(form.get("txtDir").text, "", "cancelled picker");
check(form.get("Command2").enabled, true, "a cancelled choice leaves the button");
var before = host.messages.length;
form.click("Command2");
check(uploads().length, expected.length, "nothing sent after the cancelled picker");
check(host.messages.length, before, "no message after the cancelled picker");
