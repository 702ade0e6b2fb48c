// A reply with 404 or 500 leaves "Error" in NewFileName; the call itself succeeds.
host.include("lib/assert.js");

var control = newControl();
var path = localFile("a.txt", "x");
var faults = ["404", "500"];
for (var i = 0; i < faults.length; ++i) {
  control.NewFileName = "before";
  control.StartUpload("dir", server + "/_fault/" + faults[i] + "/upload.asp", path, 1);
  check(control.NewFileName, "Error", faults[i]);
}
// A later success replaces it.
control.StartUpload("dir", server + "/upload.asp", path, 1);
check(control.NewFileName, "/files/dir/a.txt", "after the faults");
