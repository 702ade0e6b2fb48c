// Parameters declared by reference are not written back: the page's variables keep their
// values, and what they held is what travels. UploadFile sends without waiting; the reply still
// lands in NewFileName while the page pumps the message loop.
host.include("lib/assert.js");

var control = newControl();
// StartUpload sets the address UploadFile uses and leaves its own package behind.
control.StartUpload("first", server + "/upload.asp", localFile("first.txt", "1"), 1);

var path = localFile("a.txt", "payload");
var name = "a.txt", file = path, field = "note", value = "by reference";
control.AddUploadFile(name, file);
control.addFormData(field, value);
check(name + "|" + file + "|" + field + "|" + value, "a.txt|" + path + "|note|by reference",
      "arguments after the calls");

control.NewFileName = "";
control.UploadFile();
for (var waited = 0; control.NewFileName === "" && waited < 5000; waited += 20) host.pump(20);
var record = uploads()[1];
// first.txt went up twice into one folder: the answer names the second copy.
check(control.NewFileName, record.address, "reply to UploadFile");
check(record.files[0].stored, "first/first_2.txt", "stored as");
check(JSON.stringify(record.fields),
      JSON.stringify([["curPath", "first/"], ["contentid", "1"], ["note", "by reference"]]),
      "fields sent");
check(record.files.length, 2, "files sent");
check(record.files[1].name, "a.txt", "part name");
check(record.files[1].filename, path, "part filename");
check(host.readFile(serverRoot + "/files/first/a.txt"), "payload", "stored content");
