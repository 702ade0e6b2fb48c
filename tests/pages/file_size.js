// GetFileSize gives the length in bytes; a missing file is error 53.
host.include("lib/assert.js");

var control = newControl();
var cases = [
  {name: "empty.txt", text: "", size: 0},
  {name: "ascii.txt", text: "hello\n", size: 6},
  {name: "中文.txt", text: "中文", size: 6},           // UTF-8 on disk: three bytes a character
  {name: "\uD83D\uDE00.txt", text: "\uD83D\uDE00", size: 4}
];
for (var i = 0; i < cases.length; ++i) {
  var c = cases[i];
  check(control.GetFileSize(localFile(c.name, c.text)), c.size, c.name);
}
checkError(function () { control.GetFileSize(work + "/missing.txt"); }, 0x800A0035 | 0, "文件未找到",
           undefined, "missing file");
