// server: https
// Over HTTPS every sender works as over HTTP: a file upload, the text import's article post and a
// picture batch with its article. The request bytes are the same, so the server sees the same
// records.
host.include("lib/assert.js");

check(server.indexOf("https://"), 0, "the server is reached over https");

var upload = newControl();
var path = localFile("安全.txt", "加密传输");
upload.StartUpload("tls", server + "/upload.asp", path, 3);
check(upload.NewFileName, "/files/tls/安全.txt", "NewFileName");
check(host.readFile(serverRoot + "/files/tls/安全.txt"), "加密传输", "stored content");
check(JSON.stringify(uploads()[0].fields), JSON.stringify([["curPath", "tls/"], ["contentid", "3"]]),
      "upload fields");

var office = new ActiveXObject("VelmarisClient.OfficeImport");
office.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008", 12, "编辑", 3, 2);
check(office.ImportTxt("标题：报告\r\n作者：编辑部\r\n\r\n正文\r\n", "12", "王五"), 1, "ImportTxt");
check(article(1).title, "报告", "article title");
check(JSON.stringify(article(1).pages), JSON.stringify(["正文<br>"]), "article page");

var pictures = host.env("VELMARIS_PICTURES");
var batch = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(batch);
batch.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008", 5, "编辑", "W");
host.answerFileDialog(pictures + "/a.jpg");
form.click("btnAddFile");
form.setText("txtTitle", "T");
form.click("btnBegin");
check(form.get("txtLog").text,
      "开始处理图片上传：\r\n上传 " + pictures + "/a.jpg完成！\r\n本次上传图片全部传输完成！\r\n",
      "batch log");
check(article(2).title, "T", "the picture's article");
check(host.messages[host.messages.length - 1].text, "是否确认要进行上传操作？",
      "no box but the confirmation");
