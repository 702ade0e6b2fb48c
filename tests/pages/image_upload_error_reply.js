// ImageUpload: an upload answered with 404 is logged with what the server sent, and the picture's
// article is posted with "Error" as its content.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var control = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(control);
control.Init(server + "/_fault/404/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u",
             "W");
host.answerFileDialog(pictures + "/a.jpg");
form.click("btnAddFile");
form.click("btnBegin");

var log = form.get("txtLog").text;
var head = "开始处理图片上传：\r\n上传 " + pictures + "/a.jpg传输遇到错误：HTTP/1.1 404 Not Found\r\n";
check(log.substring(0, head.length), head, "log start");
var tail = "</html>\r\n完成！\r\n本次上传图片全部传输完成！\r\n";
check(log.substring(log.length - tail.length), tail, "log end");
var posted = JSON.parse(host.readFile(serverRoot + "/articles/000001.json"));
check(JSON.stringify(posted.pages), JSON.stringify(["Error"]), "article content");
check(uploads().length, 0, "nothing stored");
