// OfficeImport given addresses it cannot use, files it cannot read (missing, folders, NUL
// characters), a text of 10 MB and a listed document that vanishes during the run: each fails
// with a clear error before anything of it is sent, text goes whole, and what did not go is not
// marked done.
// needs: office
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
var upload = server + "/cms/upload.asp";
var post = server + "/cms/savepost.asp";
var notFound = 0x800A0035 | 0;
var badName = 0x800A0034 | 0;

function articleCount() {
  for (var n = 1;; ++n) {
    try {
      host.readFile(serverRoot + "/articles/" + ("00000" + n).slice(-6) + ".json");
    } catch (e) {
      return n - 1;
    }
  }
}
function items() {
  return JSON.stringify(form.get("List1").items);
}

// Before Init there is no post address; a bad address is refused.
checkError(function () { control.ImportTxt("t\r\nx", "1", "u"); }, 0x80040000 | 0,
           "尚未设置文章的发布地址", "Error", "ImportTxt before Init");
checkError(function () { control.Init(upload, "savepost.asp", "d", 1, "u"); }, 0x80040000 | 0,
           "错误的URL", "Error", "a bad post address");
checkError(function () { control.ImportTxt("t\r\nx", "1", "u"); }, 0x80040000 | 0,
           "尚未设置文章的发布地址", "Error", "ImportTxt after a refused post address");
checkError(function () { control.Init("ftp://x/", post, "d", 1, "u"); }, 0x80040000 | 0,
           "错误的URL", "Error", "a bad upload address");
// Optional arguments given as undefined take their defaults; JScript passes undefined as an empty
// value instead, which is 0.
control.Init(upload, post, "d", 1, "u", undefined, undefined);
// An import owns its package and its working folder from start to end: a timer's calls into the
// control are refused all along.
var edits = [editDuring(function (k) { control.addFormData("x" + k, "v"); }),
             editDuring(function (k) { control.ImportTxt("inner " + k + "\r\nx", "1", "u"); })];
check(control.ImportTxt("t\r\nx", "1", "u"), 1, "ImportTxt after Init");
checkRefusedEdits(edits[0], "addFormData inside an import");
checkRefusedEdits(edits[1], "ImportTxt inside an import");
check(JSON.stringify(article(1).fields.slice(1, 3)),
      JSON.stringify([["issueid", "0"], ["objecttype", jscript ? "0" : "1"]]), "the defaults");

// Files that cannot be read: each call fails with its error, nothing is sent.
var text = localFile("t/a.txt", "标题\r\n正文");
localFile("folder.doc/inside.txt", "x");
localFile("folder.txt/inside.txt", "x");
var sent = requestCount();
var calls = [
  {what: "StartUpload of a missing file", call: function () {
    control.StartUpload("d", work + "/missing.gif", 1); }, number: notFound,
   description: "文件未找到"},
  {what: "StartUpload of a folder", call: function () { control.StartUpload("d", work, 1); },
   number: notFound, description: "这是一个文件夹，不是文件"},
  {what: "StartUpload with a NUL", call: function () { control.StartUpload("d", text + "\0x", 1); },
   number: badName, description: "错误的文件名或号码"},
  {what: "ImportTxtFile of a missing file", call: function () {
    control.ImportTxtFile(work + "/missing.txt", 1, "u"); }, number: notFound,
   description: "文件未找到"},
  {what: "ImportTxtFile of a folder", call: function () {
    control.ImportTxtFile(work + "/folder.txt", 1, "u"); }, number: 0x800A004B | 0,
   description: "这是一个文件夹，不是文件"},
  {what: "ImportTxtFile of a device", call: function () {
    control.ImportTxtFile("/dev/zero", 1, "u"); }, number: 0x800A004B | 0,
   description: "路径/文件访问错误"},
  {what: "ImportTxtFile with a NUL", call: function () {
    control.ImportTxtFile(text + "\0.txt", 1, "u"); }, number: badName,
   description: "错误的文件名或号码"},
  {what: "ImportDocFile with a NUL", call: function () {
    control.ImportDocFile(text + "\0.doc", "1", "u"); }, number: badName,
   description: "错误的文件名或号码"},
  {what: "ImportDocFile of a missing file", call: function () {
    control.ImportDocFile(work + "/missing.doc", "1", "u"); }, number: notFound,
   description: "找不到文件：" + work + "/missing.doc", source: "Word.Application"},
  {what: "ImportDocFileOnePage of a folder", call: function () {
    control.ImportDocFileOnePage(work + "/folder.doc", "1", "u"); }, number: notFound,
   description: "找不到文件：" + work + "/folder.doc", source: "Word.Application"},
  {what: "ImportPPTFile of a missing file", call: function () {
    control.ImportPPTFile(work + "/missing.ppt", "1", "u"); }, number: notFound,
   description: "找不到文件：" + work + "/missing.ppt", source: "PowerPoint.Application"},
  {what: "ImportXlsFile with a NUL", call: function () {
    control.ImportXlsFile(text + "\0.xls", "1", "u"); }, number: badName,
   description: "错误的文件名或号码"},
  // A document path without an extension has no title.
  {what: "ImportDocFile of a path without a dot", call: function () {
    control.ImportDocFile(work + "/t", "1", "u"); }, number: 0x800A0005 | 0,
   description: "无效的过程调用或参数"}
];
for (var i = 0; i < calls.length; ++i) {
  checkError(calls[i].call, calls[i].number, calls[i].description, calls[i].source,
             calls[i].what);
}
check(requestCount(), sent, "none of them sent anything");

// Texts go whole: 10 MB, and NUL characters.
var tenMb = 10 * 1024 * 1024;
check(control.ImportTxt("长文\r\n" + longText("x", tenMb), "1", "u"), 1, "a text of 10 MB");
var posted = article(articleCount());
check(posted.title, "长文", "the long article's title");
check(posted.fields[4][1].length > tenMb, true, "the long article's content");
check(control.ImportTxt("零\0一\r\n二\0三", "1\0", "u\0v"), 1, "a text with NULs");
posted = article(articleCount());
check(JSON.stringify([posted.fields[0], posted.fields[3], posted.fields[5]]),
      JSON.stringify([["columnid", "1\0"], ["title", "零\0一"], ["author", "u\0v"]]),
      "the fields with NULs");

// The list: a document vanishes while the one before it is posted. The run stops there with
// the error, the entry reads its path again, and a later run takes it once it is back.
var one = localFile("l/1.txt", "一\r\n正文");
var two = localFile("l/2.txt", "二\r\n正文");
var three = localFile("l/3.txt", "三\r\n正文");
form.drop("List1", [one, two, three]);
var before = articleCount();
var shown = host.messages.length;
host.later(0, function () { host.removeFile(two); });
form.click("Command3");
check(host.messages.length, shown + 1, "one box for the vanished document");
check(host.messages[shown].text, two + "\r\n文件未找到", "the box names the document");
check(items(), JSON.stringify([one + "......完成", two, three]), "only the first is done");
check(articleCount(), before + 1, "one article posted");
localFile("l/2.txt", "二\r\n作者\r\n回来了");
form.click("Command3");
check(items(), JSON.stringify([one + "......完成", two + "......完成", three + "......完成"]),
      "the rest done");
check(articleCount(), before + 3, "each document posted once");
check(article(before + 2).pages[0], "回来了<br>", "the document as it came back");

// Entries the list takes that name no file: a NUL never reaches another file.
localFile("l/4.txt", "四");
var nul = work + "/l/4.txt\0.txt";
form.drop("List1", [nul]);
shown = host.messages.length;
form.click("Command3");
check(host.messages[shown].text, nul + "\r\n错误的文件名或号码", "an entry with a NUL");
check(form.get("List1").items[3], nul, "the entry reads its path again");
check(articleCount(), before + 3, "nothing posted for it");
