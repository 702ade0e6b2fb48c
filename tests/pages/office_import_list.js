// Documents listed through the dialog go through the start button one by one: each entry reads
// "..." while its document is imported and "...完成" after it, a second run skips what is done,
// and an entry whose importer fails (its article refused included) is shown in a message box and
// reads its path again. Entries no importer takes are named in one box and the run goes on.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "d", 7, "编辑");

function items() {
  return JSON.stringify(form.get("List1").items);
}

var a = localFile("a.txt", "第一篇\r\n作者：甲\r\n正文一\r\n");
var b = localFile("b.txt", "第二篇\r\n作者：乙\r\n正文二\r\n");
host.answerFileDialog(work + "\0a.txt\0b.txt");
form.click("Command1");
check(items(), JSON.stringify([a, b]), "two files chosen in one folder");
host.answerFileDialog(a);
form.click("Command1");
check(items(), JSON.stringify([a, b]), "a listed file is not added twice");
form.hover("List1", 1);
check(form.get("List1").toolTip, b, "tooltip names the entry under the pointer");

form.click("Command3");
check(items(), JSON.stringify([a + "......完成", b + "......完成"]), "marks after the run");
check(article(1).title, "第一篇", "first article");
check(article(2).title, "第二篇", "second article");
check(JSON.stringify(article(2).fields[0]), JSON.stringify(["columnid", "7"]), "column");
check(JSON.stringify(article(2).fields[5]), JSON.stringify(["author", "编辑"]), "author");
check(form.get("Command3").enabled, true, "start enabled again");
check(form.get("Command4").enabled, false, "cancel disabled again");
check(form.get("pbFile").visible, false, "progress hidden again");
var refused = false;
try {
  form.click("Command4");
} catch (e) {
  refused = e.number === (0x80070005 | 0);
}
check(refused, true, "cancel refused while idle");

form.click("Command3");
checkError(function () { host.readFile(serverRoot + "/articles/000003.json"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "a second run finds everything done");

// A listed file that has gone: the user is told, the entry reads its path again.
var doc = work + "/report.txt";
form.drop("List1", [doc]);
var before = host.messages.length;
form.click("Command3");
var shown = host.messages;
check(shown.length, before + 1, "one message box");
check(shown[shown.length - 1].text, doc + "\r\n文件未找到", "the failure shown");
check(form.get("List1").items[2], doc, "the entry reads its path again");
check(form.get("Command3").enabled, true, "idle after the failure");

// A name that holds "完成" is imported like any other; a PDF and a folder are named as not
// supported, stay as they were, and the run goes on past them.
var list = new ActiveXObject("VelmarisClient.OfficeImport");
var listForm = host.form(list);
list.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "d", 7, "编辑");
var report = localFile("项目完成报告.txt", "项目完成报告\r\n");
var pdf = localFile("说明.pdf", "%PDF");
var last = localFile("c.txt", "第三篇\r\n");
listForm.drop("List1", [pdf, work, report, last]);
before = host.messages.length;
listForm.click("Command3");
check(JSON.stringify(listForm.get("List1").items),
      JSON.stringify([pdf, work, report + "......完成", last + "......完成"]), "marks");
check(article(3).title, "项目完成报告", "a name holding 完成 is imported");
check(host.messages.length, before + 1, "one box for what is not supported");
check(host.messages[before].text, "以下文件的类型不支持导入：\r\n" + pdf + "\r\n" + work,
      "the box names them");

// The server refuses the article: the entry is not done and the box says why.
list.Init(server + "/cms/upload.asp", server + "/_fault/500/cms/savepost.asp", "d", 7, "编辑");
var refused = localFile("d.txt", "第四篇\r\n");
listForm.drop("List1", [refused]);
before = host.messages.length;
listForm.click("Command3");
check(listForm.get("List1").items[4], refused, "the refused entry reads its path again");
check(host.messages.length, before + 2, "the unsupported entries, then the failure");
check(host.messages[before + 1].text, refused + "\r\n文章发布失败：服务器返回状态 500",
      "the failure shown");
