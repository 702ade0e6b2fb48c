// Init takes the post address first and the upload address last: of the post address only the
// path is used, and the article goes to the upload host with it. Pictures keep the upload path.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
control.Init(server + "/cms/upload.asp", "http://post.invalid:8765/cms/savepost.asp", "图片", 1,
             "u");
check(control.ImportTxt("标题：新闻\r\n正文内容在这里", "1", "u"), 1, "ImportTxt result");
var request = host.readFile(serverRoot + "/requests/000001.http");
check(request.indexOf("POST /cms/savepost.asp HTTP/1.1\r\n"), 0, "post path on the request line");
check(request.indexOf("Host: " + server.substring(7) + "\r\n") > 0, true, "upload host and port");
check(JSON.parse(host.readFile(serverRoot + "/articles/000001.json")).title, "新闻", "stored");

var picture = localFile("p.png", "PNG");
control.StartUpload("图片", picture, -1);
var record = uploads()[0];
check(JSON.stringify(record.fields),
      JSON.stringify([["curPath", "图片/"], ["contentid", "-1"], ["author", "u"]]), "fields");
check(host.readFile(serverRoot + "/requests/000002.http").indexOf("POST /cms/upload.asp "), 0,
      "the upload path again");
checkError(function () {
  control.Init(server + "/cms/upload.asp", "ftp://x/", "d", 1, "u");
}, 0x80040000 | 0, "错误的URL", "Error", "a bad post address");
