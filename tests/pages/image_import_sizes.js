// ImageImport: the size asked for follows the scale list and the size boxes; without a reduced
// size none is sent; a typed size that is no number stops the batch before anything is sent.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var control = new ActiveXObject("VelmarisClient.ImageImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u", "W");

function run() {
  host.answerFileDialog(pictures + PATH_SEP + "A.gif");
  form.click("btnAddFile");
  form.click("btnBegin");
  var records = uploads();
  return records[records.length - 1];
}

check(form.get("cmbScale").text, "50%", "the scale at first");
check(form.get("txtWidth").enabled || form.get("txtHeight").enabled, false, "boxes at first");
var record = run();
check(field(record, "thumbnailwidth") + " x " + field(record, "thumbnailheight"), "400 x 300",
      "50% of 801 x 601");

form.select("cmbScale", 0);
check(form.get("txtWidth").enabled && form.get("txtHeight").enabled, true, "both boxes open");
form.setText("txtWidth", "320");
form.setText("txtHeight", "240");
record = run();
check(field(record, "thumbnailwidth") + " x " + field(record, "thumbnailheight"), "320 x 240",
      "typed width and height");

// The picture keeps its proportions: 200 / 801 x 601 is 150.06.
form.select("cmbScale", 1);
check(form.get("txtHeight").enabled, false, "height box closed");
form.setText("txtWidth", "200");
record = run();
check(field(record, "thumbnailwidth") + " x " + field(record, "thumbnailheight"), "200 x 150",
      "typed width, height in proportion");

form.check("chkSmallPic", false);
check(form.get("cmbScale").enabled, false, "scale closed");
record = run();
check(JSON.stringify(record.fields),
      JSON.stringify([["curpath", "d"], ["contentid", "-1"], ["author", "u"],
                      ["thumbnail", "No"], ["watermark", "No"]]), "no reduced size");

form.check("chkSmallPic", true);
form.select("cmbScale", 0);
form.setText("txtWidth", "12a");
var sent = uploads().length;
host.answerFileDialog(pictures + PATH_SEP + "A.gif");
form.click("btnAddFile");
form.click("btnBegin");
var last = host.messages[host.messages.length - 1];
check(last.text, "请输入半角数字", "the message");
check(last.caption, "导入图片", "its caption");
check(uploads().length, sent, "nothing sent");
check(form.get("lstFileList").items.length, 1, "the list is kept");
check(form.get("btnAddFile").enabled && form.get("btnBegin").enabled, true, "at rest");
