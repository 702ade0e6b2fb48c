// The picture controls given addresses and files they cannot use: a bad address, missing
// pictures, folders, NUL characters, a path of 10 MB, a file that is no picture, pictures that
// vanish before the batch starts or while it runs. Each ends with a clear error (in the log for a
// batch), nothing after the failure is sent, the list keeps every entry, and the next batch goes
// through.
host.include("lib/assert.js");

var upload = server + "/cms/upload.asp";
var post = server + "/cms/savepost.asp";
var failure = "\r\n系统错误，操作被强行终止，错误描述：\r\n";

// A GIF header of 16 x 8: all the sizing reads of a picture.
function writePicture(name) {
  return localFile(name, "GIF89a\u0010\u0000\u0008\u0000\u0000\u0000\u0000;");
}
function storedNames() {
  var records = uploads();
  var names = [];
  for (var i = 0; i < records.length; ++i) names.push(records[i].files[0].name);
  return names;
}

var controls = [
  {progid: "VelmarisClient.ImageUpload", start: "开始处理图片上传：",
   // The picture's log line opens before its file is looked at.
   opens: function (path) { return "\r\n上传 " + path; }},
  {progid: "VelmarisClient.ImageImport", start: "开始上传图片：",
   // The picture is measured before its log line opens.
   opens: function () { return ""; }}
];

for (var k = 0; k < controls.length; ++k) {
  var c = controls[k];
  var what = c.progid.split(".")[1];
  var control = new ActiveXObject(c.progid);
  var form = host.form(control);
  var folder = "p" + k;

  checkError(function () { control.Init("ftp://x/", post, "", 5, "u", "w"); }, 0x80040000 | 0,
             "错误的URL", "Error", what + ": a bad upload address");
  control.Init(upload, post, "", 5, "编辑", "水印");

  // StartUpload of what is no file: refused before anything is added or sent.
  localFile(folder + "/dir.jpg/inside.txt", "x");
  var sent = requestCount();
  var paths = [
    {what: "a missing file", path: work + "/missing.jpg", number: 0x800A0035 | 0,
     description: "文件未找到"},
    {what: "a folder", path: work + "/" + folder + "/dir.jpg", number: 0x800A0035 | 0,
     description: "这是一个文件夹，不是文件"},
    {what: "a NUL", path: writePicture(folder + "/n.gif") + "\0.jpg", number: 0x800A0034 | 0,
     description: "错误的文件名或号码"},
    {what: "10 MB", path: longText("p", 10 * 1024 * 1024), number: 0x800A0035 | 0,
     description: "文件未找到"}
  ];
  for (var i = 0; i < paths.length; ++i) {
    checkError(function () { control.StartUpload(paths[i].path); }, paths[i].number,
               paths[i].description, "VelmarisClient", what + ": StartUpload of " + paths[i].what);
  }
  check(requestCount(), sent, what + ": nothing sent by the refused StartUpload calls");

  var a = writePicture(folder + "/a.gif");
  var b = writePicture(folder + "/b.gif");
  var cc = writePicture(folder + "/c.gif");
  var list = function () { return JSON.stringify(form.get("lstFileList").items); };
  var add = function (path) {
    host.answerFileDialog(path);
    form.click("btnAddFile");
  };
  // A new control for each list: entries that are no picture cannot be selected to be deleted.
  var renew = function () {
    control = new ActiveXObject(c.progid);
    control.Init(upload, post, "", 5, "编辑", "水印");
    form = host.form(control);
  };

  // Removed after it was listed, before the start: the batch stops at it, nothing is sent.
  add(a);
  add(b);
  host.removeFile(a);
  form.click("btnBegin");
  check(form.get("txtLog").text,
        c.start + c.opens(a) + failure + "(53)[VelmarisClient]" + a + "：文件未找到;\r\n",
        what + ": a picture removed before the start");
  check(requestCount(), sent, what + ": nothing sent for it");
  check(list(), JSON.stringify([a, b]), what + ": the list keeps both");

  // Vanishing while the batch runs: what went before it is on the server, nothing after it.
  writePicture(folder + "/a.gif");
  add(cc);
  host.later(0, function () { host.removeFile(b); });
  form.click("btnBegin");
  var log = form.get("txtLog").text;
  var ending = failure + "(53)[VelmarisClient]" + b + "：文件未找到;\r\n";
  check(log.slice(-ending.length), ending, what + ": the batch ends at the vanished picture");
  check(log.indexOf("上传 " + a + "完成！\r\n") > 0, true, what + ": the first went up");
  check(log.indexOf(cc), -1, what + ": the third was not reached");
  check(JSON.stringify(storedNames()), JSON.stringify(["a.gif"]), what + ": one picture stored");
  check(list(), JSON.stringify([a, b, cc]), what + ": the list keeps every entry");

  // A folder or a file that is no picture in the list: the batch names it and stops.
  renew();
  var dir = work + "/" + folder + "/dir.jpg";
  var text = localFile(folder + "/text.jpg", "no picture at all");
  add(dir);
  form.click("btnBegin");
  check(form.get("txtLog").text,
        c.start + c.opens(dir) + failure + "(53)[VelmarisClient]" + dir + "：这是一个文件夹，不是文件;\r\n",
        what + ": a folder in the list");
  renew();
  add(text);
  form.click("btnBegin");
  if (k === 1) {
    check(form.get("txtLog").text,
          c.start + failure + "(481)[VelmarisClient]" + text + "：无效的图片;\r\n",
          what + ": a file that is no picture");
  }
  renew();

  // Back to files that are there: the batch goes through and empties the list.
  writePicture(folder + "/b.gif");
  add(a);
  add(b);
  var before = uploads().length;
  form.click("btnBegin");
  check(form.get("txtLog").text.slice(-15), "本次上传图片全部传输完成！\r\n", what + ": the next batch");
  check(list(), "[]", what + ": emptied after the batch");
  check(uploads().length, before + 2, what + ": both sent");
  // The control's own StartUpload, called by a timer while a batch waits, is refused.
  renew();
  control.Init(server + "/_fault/slow-300/cms/upload.asp", post, "", 5, "编辑", "水印");
  add(a);
  var nested = null;
  host.later(100, function () {
    try {
      control.StartUpload(b);
      nested = "accepted";
    } catch (e) {
      nested = e.number + " " + e.description;
    }
  });
  // The batch owns its package from start to end: a timer's edits are refused all along.
  var edits = editDuring(function (k) { control.addFormData("x" + k, "v"); });
  form.click("btnBegin");
  checkRefusedEdits(edits, what + ": addFormData inside the batch");
  check(nested, (0x800A0005 | 0) + " 上一次传输尚未结束", what + ": StartUpload inside the batch");
  check(list(), "[]", what + ": the batch went through");

  // Texts of 10 MB go whole.
  var tenMb = 10 * 1024 * 1024;
  renew();
  control.Init(upload, post, "", 5, longText("u", tenMb), longText("w", tenMb));
  writePicture(folder + "/a.gif");
  add(a);
  form.click("btnBegin");
  var last = uploads()[uploads().length - 1];
  check(last.fields[2][0] + " " + last.fields[2][1].length, "author " + tenMb,
        what + ": a 10 MB author");
  check(list(), "[]", what + ": the batch with 10 MB texts went through");
  // Clean up the server's record for the next control's checks.
  host.writeFile(serverRoot + "/uploads.jsonl", "");
}
