// ImageUpload: two pictures go up with the default options, each followed at once by its
// article; the log reads the same byte for byte. Then the titles come from the pictures' names.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var SEP = "----abcdefghijklmnopqrstuvwxyz----";
var control = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(control);

function add(path) {
  host.answerFileDialog(path);
  form.click("btnAddFile");
}

control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008", 5, "编辑", "W");
var a = pictures + PATH_SEP + "a.jpg";
var c = pictures + PATH_SEP + "c.gif";
add(a);
add(c);
check(form.get("btnBegin").enabled, true, "ready");
form.setText("txtTitle", "T");
form.click("btnBegin");

var confirm = host.messages[host.messages.length - 1];
check(confirm.text, "是否确认要进行上传操作？", "confirmation");
check(confirm.caption, "图片导入", "confirmation caption");

var fields = JSON.stringify([["curpath", "2008"], ["contentid", "-1"], ["author", "编辑"],
                             ["thumbnail", "Yes"], ["thumbnailalt", "Click"],
                             ["thumbnailtarget", "about:blank"], ["watermark", "Yes"],
                             ["wmtext", "W"], ["wmposition", "8"], ["wmcolor", "-65536"],
                             ["imgstamp", "No"]]);
var records = uploads();
var names = ["a.jpg", "c.gif"];
var paths = [a, c];
check(records.length, 2, "uploads");
for (var i = 0; i < 2; ++i) {
  // Upload, article, upload, article.
  check(records[i].n, 2 * i + 1, names[i] + " request number");
  check(JSON.stringify(records[i].fields), fields, names[i] + " fields");
  check(records[i].files[0].name, names[i], names[i] + " part name");
  check(records[i].files[0].filename, paths[i], names[i] + " part filename");
  var posted = article(i + 1);
  check(posted.n, 2 * i + 2, names[i] + " article request number");
  check(JSON.stringify(posted.fields),
        JSON.stringify([["columnid", "5"], ["issueid", "0"], ["objecttype", "1"], ["title", "T"],
                        ["content", "/files/" + names[i] + SEP], ["author", "编辑"]]),
        names[i] + " article fields");
}
check(form.get("txtLog").text,
      "开始处理图片上传：\r\n上传 " + a + "完成！\r\n上传 " + c + "完成！\r\n" +
      "本次上传图片全部传输完成！\r\n", "log");
check(form.get("lstFileList").items.length, 0, "the list is emptied");
check(form.get("btnBegin").enabled, true, "at rest: start");
check(form.get("btnCancel").enabled, false, "at rest: cancel");
check(form.get("ProgressBar").visible, false, "at rest: overall progress");

// Titles from the pictures' names: the extension goes wherever it follows a dot.
form.check("optNameByPic", true);
check(form.get("txtTitle").enabled, false, "the common title is not used");
add(localFile("Sunset.Beach.JPG", "sunset"));
add(localFile("x.jpg.jpg", "x"));
form.click("btnBegin");
check(article(3).title, "Sunset.Beach", "Sunset.Beach.JPG");
check(article(4).title, "x", "x.jpg.jpg");
