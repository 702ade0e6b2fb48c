// A file goes up with StartUpload and the server's reply, the stored address, lands in
// NewFileName; the request carries the folder and content id the page gave.
host.include("lib/assert.js");

var control = newControl();
var cases = [
  {sf: "dir", file: "a.txt", text: "hello", id: 7, address: "/files/dir/a.txt", curPath: "dir/"},
  {sf: "资料/2008/", file: "说明.txt", text: "中文内容", id: -1,
   address: "/files/资料/2008/说明.txt", curPath: "资料/2008/"},
  {sf: "", file: "b.txt", text: "", id: 0, address: "/files/b.txt", curPath: "/"},
  // The same name into the same folder again: a file of its own, which the reply names.
  {sf: "dir", file: "a.txt", text: "again", id: 8, address: "/files/dir/a_2.txt", curPath: "dir/"}
];
for (var i = 0; i < cases.length; ++i) {
  var c = cases[i];
  var path = localFile(c.file, c.text);
  control.StartUpload(c.sf, server + "/upload.asp", path, c.id);
  check(control.NewFileName, c.address, c.file + " NewFileName");
  check(host.readFile(serverRoot + c.address), c.text, c.file + " stored content");
  var record = uploads()[i];
  check(JSON.stringify(record.fields),
        JSON.stringify([["curPath", c.curPath], ["contentid", String(c.id)]]), c.file + " fields");
  check(record.files[0].name, c.file, c.file + " part name");
  check(record.files[0].filename, path, c.file + " part filename");
}
check(host.readFile(serverRoot + "/files/dir/a.txt"), "hello", "the first a.txt kept");
check(host.messages.length, 0, "message boxes");
