// A Chinese/English report as an editor writes it (numbered headings, styled runs between words,
// a bordered table with merged cells, two pictures with captions, a footnote), imported as a Word
// 2007 and as a Word 97 document, by pages and as one page. What the editor sees in the stored
// articles: words kept apart, the table's grid, headings with their numbers and outside any list,
// no empty heading, the paged articles in the one-page article's fonts, sizes and colours, and
// both pictures at the server's addresses.
// office-document: fixtures/report.fodt docx 报告.docx
// office-document: fixtures/report.fodt doc 报告.doc
host.include("lib/assert.js");

var HEADINGS = ["一、概述", "二、进度", "三、结论"];
// What each page must show, and what no page may, as patterns over its markup.
var SHOWN = [
  [/is <b>faster<\/b>, <i>safer<\/i> and <b>much cheaper<\/b>\s+to run/, "words apart around tags"],
  [/1\.1\s+<font/, "a number apart from the Chinese after it"],
  [/<table border="1"[^>]*cellpadding="\d+" cellspacing="0">/, "the table's grid"],
  [/<td colspan="2"/, "the merged cell"],
  [/数据来自二〇二五年的测试。/, "the footnote"]
];
var NEVER = [
  [/<li[^>]*>\s*<h\d/, "a heading inside a list item"],
  [/<h(\d)[^>]*>(\s|<br\/>)*<\/h\1>/, "an empty heading"]
];

var control = new ActiveXObject("VelmarisClient.OfficeImport");
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "报告", 3, "编辑部");

// The font, size and colour declarations the cleaner kept, in order of first use.
function looks(markup) {
  var seen = [], found = markup.match(/<font [^>]*>/g) || [];
  for (var i = 0; i < found.length; ++i) {
    if (seen.indexOf(found[i]) < 0) seen.push(found[i]);
  }
  return seen.sort().join(" ");
}
function headings(markup) {
  var found = [], pattern = /<h1[^>]*>([\s\S]*?)<\/h1>/g, m;
  while ((m = pattern.exec(markup)) !== null) found.push(m[1].replace(/<[^>]*>|\s/g, ""));
  return found.join(" ");
}

var imported = 0;
["报告.docx", "报告.doc"].forEach(function (name) {
  var doc = work + "/" + name;
  var sentBefore = uploads().length;
  control.ImportDocFile(doc, "3", "编辑部");
  control.ImportDocFileOnePage(doc, "3", "编辑部");
  imported += 2;
  var paged = article(imported - 1), whole = article(imported);
  var pictures = uploads().slice(sentBefore);
  check(pictures.length, 4, name + ": two pictures, each mode");
  check(paged.pages.length, 3, name + ": one article page per printed page");
  check(whole.pages.length, 1, name + ": one page");

  var all = paged.pages.join("\n");
  [[all, "by pages"], [whole.pages[0], "as one page"]].forEach(function (row) {
    var markup = row[0], what = name + " " + row[1] + ": ";
    SHOWN.forEach(function (p) { check(p[0].test(markup), true, what + p[1]); });
    NEVER.forEach(function (p) { check(p[0].test(markup), false, what + p[1]); });
    check(headings(markup), HEADINGS.join(" "), what + "the headings with their numbers");
  });
  for (var i = 0; i < 3; ++i) {
    check(headings(paged.pages[i]), HEADINGS[i], name + ": page " + (i + 1) + "'s heading");
  }
  check(looks(all), looks(whole.pages[0]), name + ": the pages in the document's fonts");
  check(/<font color="#7f7f7f">/.test(all), true, name + ": the captions' colour");
  // The two pictures of each mode, in place at the addresses the server answered.
  [[all, pictures.slice(0, 2)], [whole.pages[0], pictures.slice(2)]].forEach(function (row) {
    row[1].forEach(function (picture) {
      check(row[0].indexOf('<img src="' + picture.address + '"') >= 0, true,
            name + ": picture " + picture.address);
    });
  });
});
