// A tree of 1,000 files in 50 folders arrives whole, each file in the mirrored folder.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.MultiUpload");
var form = host.form(control);
var names = [];
for (var top = 0; top < 10; ++top) {
  for (var sub = 0; sub < 5; ++sub) {
    var folder = "d" + top + (sub === 0 ? "" : "/s" + sub);
    for (var i = 0; i < 20; ++i) {
      var name = folder + "/f" + i + ".txt";
      localFile("tree/" + name, name + new Array(i * 30).join("x"));
      names.push(name);
    }
  }
}
host.answerFolder(work + "/tree");
form.click("Command1");
control.StartUpload("bulk", server + "/upload.asp");
form.click("Command2");

check(uploads().length, names.length, "requests");
for (var n = 0; n < names.length; ++n) {
  check(host.readFile(serverRoot + "/files/bulk/" + names[n]),
        host.readFile(work + "/tree/" + names[n]), names[n]);
}
check(host.messages.length, 2, "only the picker and the completion message");
check(form.get("pb").value, 100, "progress");
