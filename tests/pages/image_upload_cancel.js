// ImageUpload: cancel pressed while the first of three pictures goes up. That picture is finished,
// its article posted; the other two stay unsent, the closing line is written and the list emptied.
// A start pressed while the cancelled batch finishes is ignored.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var control = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(control);
// Each upload takes about 0.8 s, time enough to act while the first one runs.
control.Init(server + "/_fault/slow-800/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u",
             "W");
var paths = [pictures + PATH_SEP + "a.jpg", pictures + PATH_SEP + "c.gif", pictures + PATH_SEP + "B.bmp"];
for (var i = 0; i < paths.length; ++i) {
  host.answerFileDialog(paths[i]);
  form.click("btnAddFile");
}

// Watches the log and cancels once the first picture is on its way.
var during = null;
var first = "上传 " + paths[0];
function watch() {
  var log = form.get("txtLog").text;
  if (log.substring(log.length - first.length) !== first) {
    host.later(50, watch);
    return;
  }
  during = log;
  form.click("btnCancel");
  check(form.get("btnBegin").enabled, true, "start enabled after cancel");
  check(form.get("pbFile").visible, false, "request progress hidden after cancel");
  var shown = host.messages.length;
  form.click("btnBegin");  // ignored: the cancelled batch still owns the connection
  check(host.messages.length, shown, "no second question");
}
host.later(50, watch);
form.click("btnBegin");

check(during, "开始处理图片上传：\r\n上传 " + paths[0], "the cancel came during the first picture");
check(form.get("txtLog").text,
      "开始处理图片上传：\r\n上传 " + paths[0] + "完成！\r\n本次上传图片全部传输完成！\r\n", "log");
check(host.readFile(serverRoot + "/articles/000001.json").length > 0, true, "its article");
checkError(function () { host.readFile(serverRoot + "/articles/000002.json"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "no second article");
check(form.get("lstFileList").items.length, 0, "the list is emptied");
check(form.get("btnCancel").enabled, false, "at rest");
