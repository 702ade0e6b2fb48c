// Workbooks through the list and the start button: one article page per sheet, in sheet order,
// each followed by the separator; the first sheet's name as the title; the sheet picture uploaded
// with the control's content id and the server's address in its place; tables the spreadsheet
// wrote without a border get a black one.
// office-document: import/annual_book.fods xls 年报.xls
// office-document: import/annual_book.fods xlsx 年报新版.xlsx
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "表格", 9, "统计科");

var books = [work + "/年报.xls", work + "/年报新版.xlsx"];
form.drop("List1", books);
form.click("Command3");
check(host.messages.length, 0, "no message box");
check(JSON.stringify(form.get("List1").items),
      JSON.stringify([books[0] + "......完成", books[1] + "......完成"]), "both entries done");

var sent = uploads();
check(sent.length, 2, "one picture per workbook");
for (var n = 1; n <= 2; ++n) {
  var book = article(n);
  var what = "workbook " + n + ": ";
  check(book.title, "年度销售", what + "the first sheet's name is the title");
  check(field(book, "columnid"), "9", what + "column");
  check(book.pages.length, 3, what + "one page per sheet");
  check(field(book, "content"), book.pages.join(SEPARATOR) + SEPARATOR,
        what + "every page followed by the separator");
  var sales = book.pages[0];
  check(sales.indexOf("第一季度") >= 0 && sales.indexOf("华北") >= 0, true, what + "the figures");
  check(sales.indexOf("borderColor=#000000 border=1") >= 0, true, what + "a black border");
  check(field(book, "content").indexOf('border="0"'), -1, what + "no table without a border");
  check(book.pages[1].indexOf("新产品外观") >= 0, true, what + "the picture's sheet");
  var picture = sent[n - 1];
  check(JSON.stringify(picture.fields[1]), JSON.stringify(["contentid", "0"]),
        what + "a new control's content id");
  check(book.pages[1].indexOf('<img src="' + picture.address + '"') >= 0, true,
        what + "the server's address in place of the picture's source");
  check(book.pages[2].indexOf("数据截至六月底") >= 0, true, what + "the last sheet");
}

checkError(function () { control.ImportXlsFile(books[0], "abc", "统计科"); }, 0x800A000D | 0,
           "类型不匹配", undefined, "a column id that is no number");
check(uploads().length, 2, "nothing more uploaded");
