// A reply with "500" or "404" shows the control's error box for that file, and the walk goes on
// with the next one; the run ends saying how many files failed. A server that cannot be reached
// stops the run at its first file.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.MultiUpload");
var form = host.form(control);
localFile("t/a.txt", "a");
localFile("t/b.txt", "b");
localFile("t/s/c.txt", "c");

var faults = ["500", "404"];
for (var f = 0; f < faults.length; ++f) {
  var before = host.messages.length;
  host.answerFolder(work + "/t");
  form.click("Command1");
  control.StartUpload("up", server + "/_fault/" + faults[f] + "/upload.asp");
  form.click("Command2");
  var shown = host.messages.slice(before + 1);  // after the folder picker
  check(shown.length, 4, faults[f] + ": boxes");
  for (var i = 0; i < 3; ++i) {
    check(shown[i].caption, "文件上传时出错!", faults[f] + " box " + i + " caption");
    check(shown[i].icon, 16, faults[f] + " box " + i + " icon");
    check(shown[i].buttons, 0, faults[f] + " box " + i + " buttons");
    check(shown[i].text.indexOf("HTTP/1.1 " + faults[f] + " "), 0, faults[f] + " box " + i);
  }
  check(shown[3].text, "共 3 个文件，其中 3 个上传失败.", faults[f] + ": final message");
  check(form.get("pb").value, 100, faults[f] + ": progress");
}
check(uploads().length, 0, "nothing stored");

// The same tree to the plain address arrives whole.
host.answerFolder(work + "/t");
form.click("Command1");
control.StartUpload("up", server + "/upload.asp");
form.click("Command2");
check(uploads().length, 3, "after the faults");
check(host.readFile(serverRoot + "/files/up/s/c.txt"), "c", "stored after the faults");
check(host.messages[host.messages.length - 1].text, "所有文件上传完成.", "all taken");

// Nobody listening (port 1): one box from the connection and one at the end, whatever the tree
// holds.
var before = host.messages.length;
host.answerFolder(work + "/t");
form.click("Command1");
control.StartUpload("up", "http://127.0.0.1:1/upload.asp");
form.click("Command2");
var boxes = [];
for (var i = before + 1; i < host.messages.length; ++i) boxes.push(host.messages[i].text);
check(JSON.stringify(boxes),
      JSON.stringify(["连接被强制拒绝",
                      "无法连接服务器，上传已停止.\r\n共 3 个文件，其中 3 个上传失败."]),
      "unreachable server");
