// The library without the modules built beside it, as on a machine without the office: the
// controls work, a text import needs no office, and an office import fails naming what is missing.
// library: alone
host.include("lib/assert.js");

var upload = newControl();
var path = localFile("a.txt", "hello");
upload.StartUpload("dir", server + "/upload.asp", path, 7);
check(upload.NewFileName, "/files/dir/a.txt", "an upload");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008/05", 12, "编辑", 3, 2);
check(control.ImportTxt("标题：没有 Office\r\n正文", "1", "u"), 1, "a text import");
check(article(1).title, "没有 Office", "the text's article");

var library = host.env("VELMARIS_PAGE_LIBRARY");
var module = library.substring(0, library.lastIndexOf("/") + 1) + "libVelmarisOffice.so";
checkError(function () { control.ImportDocFile(work + "/a.doc", "1", "u"); }, 0x800A005B | 0,
           "对象变量或 With 块变量未设置：无法启动 Word.Application（ActiveX 部件不能创建对象：" +
               "找不到 Office 模块 " + module + "）",
           "Word.Application", "a Word import");
check(host.messages.length, 0, "message boxes");
