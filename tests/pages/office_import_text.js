// ImportTxt turns a text into one article: a title line and an author line at the top are
// recognised, the rest becomes one page of markup, posted as seven fields in a fixed order to the
// post path. A text file that cannot be read fails with the file system's error, and an article
// the server does not take fails the import.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008/05", 12, "编辑", 3, 2);

var text = "标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\nc\r\n";
check(control.ImportTxt(text, "12a", "王五"), 1, "ImportTxt result");
var first = article(1);
check(first.title, "春季报告", "title");
check(JSON.stringify(first.pages), JSON.stringify(["a&nbsp;b<br>c<br>"]), "one page");
check(JSON.stringify(first.fields),
      JSON.stringify([["columnid", "12a"], ["issueid", "3"], ["objecttype", "2"],
                      ["title", "春季报告"], ["content", "a&nbsp;b<br>c<br>" + SEPARATOR],
                      ["author", "王五"], ["curpath", "2008/05"]]),
      "fields in order");
check(text, "标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\nc\r\n", "the text is not changed");

// No title line: the title is "尚未设置"; an empty text is the SEPARATOR alone.
check(control.ImportTxt("", "1", "u"), 1, "empty text result");
check(article(2).title, "尚未设置", "empty text title");
check(article(2).fields[4][1], SEPARATOR, "empty text content");

// A file in UTF-8 (what this platform writes) is read as such; the column goes as decimal text.
var path = localFile("notes.txt", "会议纪要\n张三\n第一项 通过\n");
check(control.ImportTxtFile(path, -7, "u"), 1, "ImportTxtFile result");
check(article(3).title, "会议纪要", "file title");
check(JSON.stringify(article(3).pages), JSON.stringify(["第一项&nbsp;通过<br>"]), "file page");
check(article(3).fields[0][1], "-7", "file column");

checkError(function () { control.ImportTxtFile(work + "/missing.txt", 1, "u"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "missing text file");
checkError(function () { host.readFile(serverRoot + "/articles/000004.json"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "nothing posted for the missing file");
check(host.messages.length, 0, "message boxes");

// The server refuses the article: the import fails, naming the status; a redirect is success.
control.Init(server + "/cms/upload.asp", server + "/_fault/500/cms/savepost.asp", "d", 1, "u");
checkError(function () { control.ImportTxt("t\r\n", "1", "u"); }, 0x80040201 | 0,
           "文章发布失败：服务器返回状态 500", "VelmarisClient", "refused article");
control.Init(server + "/cms/upload.asp", server + "/_fault/hdr500/cms/savepost.asp", "d", 1, "u");
check(control.ImportTxtFile(path, 1, "u"), 1, "article answered with a redirect");
