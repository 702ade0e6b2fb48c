// A three-page Word document through the list and the start button. With "自动分页" ticked it
// becomes an article of three pages in document order, each followed by the separator, its
// picture uploaded as the document's (content id -1) and the server's address in its place;
// unticked, an article of one page. The title is the file name, the file on disk is left as it
// was, and a column id that is no number fails before anything is done.
// office-document: fixtures/three_pages.fodt doc 三页文档.doc
host.include("lib/assert.js");

var TEXTS = ["第一页：春天的故事", "第二页：夏天的故事", "第三页：秋天的故事"];

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2024/春", 7, "编辑部");

function articleCount() {
  for (var n = 1; ; ++n) {
    try {
      host.readFile(serverRoot + "/articles/00000" + n + ".json");
    } catch (e) {
      return n - 1;
    }
  }
}
// The document as the server receives it, to compare the file before and after.
function sentCopy(folder) {
  control.StartUpload(folder, doc, 0);
  var sent = uploads();
  var record = sent[sent.length - 1].files[0];
  return {size: record.size, text: host.readFile(serverRoot + "/files/" + record.stored)};
}

var doc = work + "/三页文档.doc";
var before = sentCopy("原件/导入前");

form.drop("List1", [doc]);
form.check("Check1", true);
form.click("Command3");
check(host.messages.length, 0, "no message box");
check(form.get("List1").items[0], doc + "......完成", "the entry is done");

var paged = article(1);
check(paged.title, "三页文档", "the title is the file name");
check(field(paged, "columnid"), "7", "column");
check(field(paged, "author"), "编辑部", "author");
check(paged.pages.length, 3, "one page per printed page");
check(field(paged, "content"), paged.pages.join(SEPARATOR) + SEPARATOR,
      "every page followed by the separator");
for (var i = 0; i < 3; ++i) {
  for (var j = 0; j < 3; ++j) {
    check(paged.pages[i].indexOf(TEXTS[j]) >= 0, i === j, "page " + (i + 1) + " holds text " + (j + 1));
  }
}
var sent = uploads();
check(sent.length, 2, "the picture went up");
var picture = sent[1];
check(JSON.stringify(picture.fields[1]), JSON.stringify(["contentid", "-1"]), "as the document's");
check(picture.files[0].stored.indexOf("2024/春/"), 0, "into the server folder");
check(paged.pages[1].indexOf('<img src="' + picture.address + '"') >= 0, true,
      "the server's address in place of the picture's source");
check(paged.pages[0].indexOf("<img") + paged.pages[2].indexOf("<img"), -2, "no other pictures");

// Unticked: the whole document as one page. The done entry stays; the file is listed again.
form.drop("List1", [doc]);
check(form.get("List1").items.length, 2, "a new entry");
form.check("Check1", false);
form.click("Command3");
var whole = article(2);
check(whole.title, "三页文档", "same title");
check(whole.pages.length, 1, "one page");
check(field(whole, "content"), whole.pages[0] + SEPARATOR, "followed by the separator");
var at = [];
for (var k = 0; k < 3; ++k) at.push(whole.pages[0].indexOf(TEXTS[k]));
check(at[0] >= 0 && at[0] < at[1] && at[1] < at[2], true, "the pages in order");
check(uploads().length, 3, "the picture went up again");
check(JSON.stringify(uploads()[2].fields[1]), JSON.stringify(["contentid", "-1"]), "once more");

var after = sentCopy("原件/导入后");
check(after.size, before.size, "the document's size on disk");
check(after.text === before.text, true, "the document on disk");

// A file that is not a document: the user is told, the entry reads its path again, nothing is
// posted.
var junk = localFile("不是文档.doc", "PK\u0003\u0004 not really an archive");
form.drop("List1", [junk]);
form.click("Command3");
var shown = host.messages;
check(shown.length, 1, "one message box");
check(shown[0].text.indexOf(junk + "\r\n无法打开文档"), 0, "the failure shown");
check(form.get("List1").items[2], junk, "the entry reads its path again");
check(articleCount(), 2, "nothing posted for it");

// A column id that is no number: nothing is opened, sent or posted.
var count = uploads().length;
checkError(function () { control.ImportDocFile(doc, "abc", "编辑部"); }, 0x800A000D | 0,
           "类型不匹配", undefined, "by pages");
checkError(function () { control.ImportDocFileOnePage(doc, "abc", "编辑部"); }, 0x800A000D | 0,
           "类型不匹配", undefined, "as one page");
check(uploads().length, count, "nothing uploaded");
check(articleCount(), 2, "nothing posted");

// An error the office raises reaches the page whole, from the office module through the library.
checkError(function () { control.ImportDocFile(work + "/缺少.doc", "1", "编辑部"); }, 0x800A0035 | 0,
           "找不到文件：" + work + "/缺少.doc", "Word.Application", "a document that is not there");
