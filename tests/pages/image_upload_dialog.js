// ImageUpload's list: the add dialog takes bmp, jpg and gif files and says why it refuses the
// rest; several files leave the first selected and previewed with its pixel size. Answering No to
// the start question sends nothing.
host.include("lib/assert.js");

var pictures = host.env("VELMARIS_PICTURES");
var REFUSED = "为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件";
var control = new ActiveXObject("VelmarisClient.ImageUpload");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "d", 1, "u", "W");

check(form.get("btnBegin").enabled, false, "empty list: start");
host.answerFileDialog(pictures + "\0a.jpg\0b.png\0c.gif");
form.click("btnAddFile");
var list = form.get("lstFileList");
check(JSON.stringify(list.items), JSON.stringify([pictures + PATH_SEP + "a.jpg", pictures + PATH_SEP + "c.gif"]),
      "entries");
check(JSON.stringify(list.selected), "[0]", "the first entry is selected");
var shown = host.messages;
check(shown.length, 2, "the dialog and one refusal");
check(shown[1].text, pictures + PATH_SEP + "b.png" + REFUSED, "refusal");
check(shown[1].caption, "", "refusal caption");
check(form.get("imgPreview").picture, pictures + PATH_SEP + "a.jpg", "preview");
check(form.get("lblImgName").text, "a.jpg\r\n800\u3000\u00d7\u3000600", "size label");

// A click on the other entry previews it; the pointer over an entry shows its path.
form.select("lstFileList", 1);
check(form.get("lblImgName").text, "c.gif\r\n160\u3000\u00d7\u3000120", "second preview");
form.hover("lstFileList", 1);
check(form.get("lstFileList").toolTip, pictures + PATH_SEP + "c.gif", "tooltip");

// One file is judged by the last three characters of its name.
host.answerFileDialog(pictures + PATH_SEP + "b.png");
form.click("btnAddFile");
check(host.messages[host.messages.length - 1].text, pictures + PATH_SEP + "b.png" + REFUSED,
      "single refusal");
check(form.get("lstFileList").items.length, 2, "nothing added");

// No to the question: nothing is sent and nothing changes.
form.setText("txtLog", "before");
host.answerMessageBox("no");
form.click("btnBegin");
check(uploads().length, 0, "requests");
check(form.get("lstFileList").items.length, 2, "list kept");
check(form.get("txtLog").text, "before", "log kept");
check(form.get("btnBegin").enabled, true, "start still enabled");

// Removing every entry disables the buttons that need one.
form.select("lstFileList", 0);
form.click("btnDelFile");
form.select("lstFileList", 0);
form.click("btnDelFile");
check(form.get("btnDelFile").enabled, false, "nothing left to remove");
check(form.get("btnBegin").enabled, false, "nothing left to start");
