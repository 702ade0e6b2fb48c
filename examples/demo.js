// A page that drives the upload controls, as the content system's editor page does.
//
//   velmaris run examples/demo.js FOLDER      (with VELMARIS_SERVER=http://host:port)
//
// FOLDER holds the sample files to upload. Each upload names a directory on the server, the
// server's upload address, the local file and a content id; when StartUpload returns, the
// server's answer (the stored file's address, or "Error") is in NewFileName.

var server = host.env("VELMARIS_SERVER");
var folder = host.args[0];
if (!server || !folder) {
  throw new Error("usage: VELMARIS_SERVER=http://127.0.0.1:PORT velmaris run demo.js FOLDER");
}
var uploadAddress = server + "/upload.asp";

// The page creates the control by its class name, as a browser page would.
var upload = new ActiveXObject("VelmarisClient.FileUpload");
upload.TestOK();  // succeeds once the control is loaded and answers script
print("FileUpload is ready; uploading to " + uploadAddress);

var files = [
  {name: "hello.txt", directory: "demo", contentId: 1},
  {name: "articles.csv", directory: "demo/data", contentId: 2},
  {name: "通知.txt", directory: "通知/2024", contentId: 3}  // a Chinese directory on the server
];
for (var i = 0; i < files.length; ++i) {
  var f = files[i];
  var local = folder + "/" + f.name;
  // StartUpload waits for the transfer to end (the message loop keeps running meanwhile).
  upload.StartUpload(f.directory, uploadAddress, local, f.contentId);
  print(f.name + " (" + upload.GetFileSize(local) + " bytes) -> " + upload.NewFileName);
}

// A server that answers 404 or 500 leaves "Error" in NewFileName; the call itself succeeds.
upload.StartUpload("demo", server + "/_fault/404/upload.asp", folder + "/hello.txt", 4);
print("a server answering 404 -> " + upload.NewFileName);

// A malformed address is refused before anything is sent: the call fails with an error the
// page can catch, carrying the classic number and a description.
try {
  upload.StartUpload("demo", "ftp://127.0.0.1/upload.asp", folder + "/hello.txt", 5);
} catch (e) {
  print("a bad address -> error " + e.number + ": " + e.description);
}

// MultiUpload sends a whole folder tree, one request per file. The person at the screen picks
// the folder and presses the start button; here the host plays that part.
var multi = null;
try {
  multi = new ActiveXObject("VelmarisClient.MultiUpload");
} catch (e) {
  print("MultiUpload is not available here: " + e.description);
}
if (multi) {
  var form = host.form(multi);
  host.answerFolder(folder);            // the answer the folder picker will get
  form.click("Command1");               // "..." opens the picker
  multi.StartUpload("批量", uploadAddress);
  form.click("Command2");               // "开始上传" walks the tree
  var shown = host.messages;
  print("MultiUpload sent " + folder + " -> " + shown[shown.length - 1].text);
}

// OfficeImport turns documents into articles. Init gives it the upload and post addresses, the
// server directory, the column and the editor; ImportTxt marks up a text as an article (its first
// line is the title, a line "作者：" names the author) and posts it. Documents listed on the
// control's form go through its start button, each entry marked "...完成" once it is done.
var office = null;
try {
  office = new ActiveXObject("VelmarisClient.OfficeImport");
} catch (e) {
  print("OfficeImport is not available here: " + e.description);
}
if (office) {
  office.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "articles", 7, "编辑部");
  var posted = office.ImportTxt("春季招生通知\r\n作者：教务处\r\n今年春季招生工作即将开始。\r\n", "7", "编辑部");
  print("ImportTxt posted an article -> " + posted);
  var officeForm = host.form(office);
  officeForm.drop("List1", [folder + "/通知.txt"]);  // as if dragged from the desktop
  officeForm.click("Command3");                      // the start button
  print("OfficeImport list after the run -> " + officeForm.get("List1").items[0]);
}


// ImageUpload sends a batch of pictures, each with the thumbnail and watermark options of its form,
// and posts one article per picture made from the server's answer. The editor lists pictures in
// the add dialog (the first is previewed with its size) and presses "开始导入"; the form's log
// tells how it went. The pictures here are the samples the tests use.
var pictures = folder + "/../../tests/data/image";
var imageUpload = null;
try {
  imageUpload = new ActiveXObject("VelmarisClient.ImageUpload");
} catch (e) {
  print("ImageUpload is not available here: " + e.description);
}
if (imageUpload) {
  imageUpload.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "pictures", 8, "摄影部",
                   "版权所有");
  var uploadForm = host.form(imageUpload);
  host.answerFileDialog(pictures + "\0a.jpg\0c.gif");  // two files chosen in one folder
  uploadForm.click("btnAddFile");
  print("ImageUpload previews " + uploadForm.get("lblImgName").text.replace("\r\n", ", "));
  uploadForm.check("optNameByPic", true);               // each article titled by its picture
  uploadForm.click("btnBegin");                         // answers the question with Yes
  print("ImageUpload log:\n" + uploadForm.get("txtLog").text);
}

// ImageImport asks the server for pictures of reduced size (here half of each) and, by default,
// puts every picture of the batch into one article, each with its title under it.
var imageImport = null;
try {
  imageImport = new ActiveXObject("VelmarisClient.ImageImport");
} catch (e) {
  print("ImageImport is not available here: " + e.description);
}
if (imageImport) {
  imageImport.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "pictures", 8, "摄影部",
                   "");
  var importForm = host.form(imageImport);
  host.answerFileDialog(pictures + "\0A.gif\0B.bmp");
  importForm.click("btnAddFile");
  print("ImageImport reduces to " + importForm.get("cmbScale").text + ", mode: one article");
  importForm.click("btnBegin");
  print("ImageImport log:\n" + importForm.get("txtLog").text);
}

print("See what arrived: " + server + "/");
