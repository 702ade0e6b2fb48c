// ImageImport, all pictures in one article: cancel pressed during the second of five pictures.
// The second is finished, then the one article goes with the two pictures handled, the closing
// line is written and the list emptied.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var control = new ActiveXObject("VelmarisClient.ImageImport");
var form = host.form(control);
// Each upload takes about 0.8 s, time enough to cancel while the second one runs.
control.Init(server + "/_fault/slow-800/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u",
             "W");
check(form.get("opOneC").checked, 1, "one article, no pages");
host.answerFileDialog(pictures + "\0A.gif\0B.bmp\0c.gif\0a.jpg\0A.gif");
form.click("btnAddFile");
check(form.get("lstFileList").items.length, 5, "five pictures");

// Watches the log and cancels once the second picture is on its way.
var during = null;
var second = "上传 " + pictures + PATH_SEP + "B.bmp";
function watch() {
  var log = form.get("txtLog").text;
  if (log.substring(log.length - second.length) !== second) {
    host.later(50, watch);
    return;
  }
  during = log;
  form.click("btnCancel");
}
host.later(50, watch);
form.click("btnBegin");

check(during, "开始上传图片：\r\n上传 " + pictures + PATH_SEP + "A.gif完成！\r\n上传 " + pictures + PATH_SEP + "B.bmp",
      "the cancel came during the second picture");
check(uploads().length, 2, "two uploads");
var posted = JSON.parse(host.readFile(serverRoot + "/articles/000001.json"));
check(posted.title, "B", "title of the last picture handled");
check(JSON.stringify(posted.pages),
      JSON.stringify(["<p align=center>/files/A.gif</p><P align=center>A</P>" +
                      "<p align=center>/files/B.bmp</p><P align=center>B</P>"]), "content");
check(form.get("txtLog").text, during + "完成！\r\n本次上传图片全部传输完成！\r\n", "log");
check(form.get("lstFileList").items.length, 0, "the list is emptied");
