// A reply with "500" or "404" shows the control's error box for that file, and the walk goes on
// with the next one; the run still ends with its completion message.
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
  check(shown[3].text, "所有文件上传完成.", faults[f] + ": completion message");
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
