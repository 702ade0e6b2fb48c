// ImageImport: the same two pictures, titled A and B by their names, in each article mode: one
// article per picture, one article with a page per picture, one article with both on one page.
// Each picture is asked for at half its size. The modes are chosen by clicks, as a person would.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var SEP = "----abcdefghijklmnopqrstuvwxyz----";
var control = new ActiveXObject("VelmarisClient.ImageImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "d", 3, "编辑", "W");

var articles = 0;
function newArticles() {
  var found = [];
  for (;;) {
    var name = String(1000000 + articles + 1).substring(1);
    try {
      found.push(JSON.parse(host.readFile(serverRoot + "/articles/" + name + ".json")));
    } catch (e) {
      return found;
    }
    ++articles;
  }
}

// A click on a check box ticks it, and the control follows it as on screen; a second clears it.
form.click("chkStamp");
check(form.get("chkStamp").checked + " " + form.get("txtStampText").enabled, "1 true", "stamp on");
form.click("chkStamp");
check(form.get("chkStamp").checked + " " + form.get("txtStampText").enabled, "0 false", "stamp off");

// The articles of each mode, from the addresses the server answered for A.gif and B.bmp: every
// mode sends the same two pictures, which the server stores under new names each time.
var modes = [
  {option: "opOnePic", articles: function (a, b) { return [["A", a + SEP], ["B", b + SEP]]; }},
  {option: "opOneCPagging", articles: function (a, b) { return [["B", a + SEP + b + SEP]]; }},
  {option: "opOneC", articles: function (a, b) {
    return [["B", "<p align=center>" + a + "</p><P align=center>A</P>" +
                  "<p align=center>" + b + "</p><P align=center>B</P>" + SEP]];
  }}
];
for (var m = 0; m < modes.length; ++m) {
  var mode = modes[m];
  var before = uploads().length;
  // Clicked as a person would: the option is chosen and the others of its frame cleared.
  form.click(mode.option);
  for (var o = 0; o < modes.length; ++o) {
    check(form.get(modes[o].option).checked, o === m ? 1 : 0, mode.option + ": " + modes[o].option);
  }
  host.answerFileDialog(pictures + "\0A.gif\0B.bmp");
  form.click("btnAddFile");
  form.click("btnBegin");

  var records = uploads().slice(before);
  check(records.length, 2, mode.option + ": uploads");
  check(JSON.stringify(records[0].fields),
        JSON.stringify([["curpath", "d"], ["contentid", "-1"], ["author", "编辑"],
                        ["thumbnail", "Yes"], ["bili", "-1"], ["thumbnailwidth", "400"],
                        ["thumbnailheight", "300"], ["thumbnailalt", "Click"],
                        ["thumbnailtarget", "about:blank"], ["watermark", "No"]]),
        mode.option + ": fields of A.gif, 801 x 601");
  check(JSON.stringify(records[1].fields.slice(5, 7)),
        JSON.stringify([["thumbnailwidth", "8"], ["thumbnailheight", "6"]]),
        mode.option + ": size of B.bmp, 16 x 12");
  var posted = newArticles();
  var expected = mode.articles(records[0].address, records[1].address);
  check(posted.length, expected.length, mode.option + ": articles");
  for (var i = 0; i < posted.length; ++i) {
    check(JSON.stringify(posted[i].fields),
          JSON.stringify([["columnid", "3"], ["issueid", "0"], ["objecttype", "1"],
                          ["title", expected[i][0]], ["content", expected[i][1]],
                          ["author", "编辑"]]),
          mode.option + ": article " + (i + 1));
  }
  // One article per picture goes right after its upload; the one article after both.
  check(posted[0].n, expected.length === 2 ? records[0].n + 1 : records[1].n + 1,
        mode.option + ": when the first article went");
  check(form.get("txtLog").text,
        "开始上传图片：\r\n上传 " + pictures + PATH_SEP + "A.gif完成！\r\n上传 " + pictures +
        PATH_SEP + "B.bmp完成！\r\n本次上传图片全部传输完成！\r\n", mode.option + ": log");
}
