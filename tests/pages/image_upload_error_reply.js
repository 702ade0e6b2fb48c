// ImageUpload: an upload answered with 404 is logged with what the server sent and ends the batch
// with its error; no article is posted from it, and the list keeps the picture.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var control = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(control);
control.Init(server + "/_fault/404/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u",
             "W");
host.answerFileDialog(pictures + PATH_SEP + "a.jpg");
form.click("btnAddFile");
form.click("btnBegin");

var log = form.get("txtLog").text;
var head = "开始处理图片上传：\r\n上传 " + pictures + PATH_SEP + "a.jpg传输遇到错误：HTTP/1.1 404 Not Found\r\n";
check(log.substring(0, head.length), head, "log start");
var tail = "</html>\r\n系统错误，操作被强行终止，错误描述：\r\n(-2147220991)[VelmarisClient]" +
           pictures + PATH_SEP + "a.jpg：图片上传失败：服务器返回状态 404;\r\n";
check(log.substring(log.length - tail.length), tail, "log end");
checkError(function () { article(1); }, 0x800A0035 | 0, "文件未找到", undefined, "no article");
check(uploads().length, 0, "nothing stored");
check(JSON.stringify(form.get("lstFileList").items), JSON.stringify([pictures + PATH_SEP + "a.jpg"]),
      "the picture stays listed");
