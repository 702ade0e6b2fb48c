// Every control in its own window, driven while the windows are up: an upload over a socket on the
// windows' loop, files dropped on the office import's list, screenshots of each window, dialogs that
// are real ones now. The script ends with the windows open; a later callback closes them, and only
// then does the run end.
host.include("../../pages/lib/assert.js");

var screens = host.args[1];
var names = ["FileUpload", "MultiUpload", "OfficeImport", "ImageUpload", "ImageImport"];
var controls = {};
for (var i = 0; i < names.length; ++i) {
  controls[names[i]] = new ActiveXObject("VelmarisClient." + names[i]);
}

// Dialogs are answered by the person at the screen, not by the page.
var answered = true;
try {
  host.answerMessageBox("ok");
} catch (e) {
  answered = false;
  check(e.number, -2147418113, "answers are for headless runs");
}
check(answered, false, "an answer queued on screen");

// The upload runs on the same loop as the windows.
controls.FileUpload.StartUpload("gui", server + "/upload.asp", localFile("屏幕.txt", "窗体在屏幕上"),
                                0);
check(controls.FileUpload.NewFileName, "/files/gui/屏幕.txt", "the upload's reply");

var office = host.form(controls.OfficeImport);
office.drop("List1", [localFile("一.txt", "一"), localFile("二.txt", "二")]);
check(office.get("List1").items.length, 2, "two files dropped");
office.select("List1", 1);

for (var name in controls) {
  var file = screens + "/page-" + name + ".png";
  host.screenshot(controls[name], file);
  check(host.readFile(file).substr(1, 3), "PNG", name + " screenshot");
}

var closed = 0;
host.later(200, function () {
  for (var name in controls) {
    if (host.closeForm(controls[name])) ++closed;
  }
  check(closed, names.length, "every window was open until now");
  check(host.closeForm(controls.FileUpload), false, "a closed window closes once");
  print("windows closed");
});
