// An address that does not start with "http://" fails before anything is sent; a port that is
// not a number is a type mismatch.
host.include("lib/assert.js");

var control = newControl();
var path = localFile("a.txt", "x");
var port = server.split(":")[2];
var cases = [
  {url: "ftp://127.0.0.1:" + port + "/upload.asp", number: -2147221504, description: "错误的URL",
   source: "Error"},
  {url: "127.0.0.1:" + port + "/upload.asp", number: -2147221504, description: "错误的URL",
   source: "Error"},
  {url: "", number: -2147221504, description: "错误的URL", source: "Error"},
  {url: "http://127.0.0.1:8o/upload.asp", number: 0x800A000D | 0, description: "类型不匹配"}
];
for (var i = 0; i < cases.length; ++i) {
  var c = cases[i];
  control.NewFileName = "unchanged";
  checkError(function () { control.StartUpload("dir", c.url, path, 1); }, c.number,
             c.description, c.source, JSON.stringify(c.url));
  check(control.NewFileName, "unchanged", c.url + " NewFileName");
}
checkError(function () { host.readFile(serverRoot + "/requests/000001.http"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "no request reached the server");
