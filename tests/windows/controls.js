// The controls as a Windows script host meets them: created by ProgID, called through IDispatch,
// failing with the classic numbers, the Chinese descriptions and the control's source.
// Arguments: the server's address, its root folder and a folder to work in (Windows paths).
var server = WScript.Arguments(0), serverRoot = WScript.Arguments(1), work = WScript.Arguments(2);
var fso = new ActiveXObject("Scripting.FileSystemObject");
var failures = 0;

function check(actual, expected, what) {
  if (actual !== expected) {
    WScript.Echo("FAIL " + what + ": expected " + expected + ", got " + actual);
    ++failures;
  }
}
// JScript's errors carry no source; byref.vbs checks it from VBScript.
function checkError(action, number, description, what) {
  try {
    action();
  } catch (e) {
    check(e.number, number, what + ": number");
    check(e.description, description, what + ": description");
    return;
  }
  check("no error", "an error", what);
}
function writeFile(name, text) {
  var path = work + "\\" + name, file = fso.CreateTextFile(path, true, false);
  file.Write(text);
  file.Close();
  return path;
}
function readFile(path) {
  var file = fso.OpenTextFile(path, 1, false, 0), text = file.AtEndOfStream ? "" : file.ReadAll();
  file.Close();
  return text;
}

// Wine's script host does not show a script's own errors: each step reports what stopped it.
function step(what, action) {
  try {
    action();
  } catch (e) {
    WScript.Echo("FAIL " + what + ": error " + (e.number >>> 0).toString(16) + " " + e.description);
    ++failures;
  }
}

var upload, path;
step("FileUpload", function () {
  // FileUpload end to end: the reply is the stored file's address, the stored bytes are the file's.
  upload = new ActiveXObject("VelmarisClient.FileUpload");
  path = writeFile("a.txt", "hello from cscript");
  upload.StartUpload("dir", server + "/upload.asp", path, 7);
  check(upload.NewFileName, "/files/dir/a.txt", "the server's address");
  check(readFile(serverRoot + "\\files\\dir\\a.txt"), "hello from cscript", "the stored file");
});
step("errors", function () {
  check(upload.GetFileSize(path), 18, "GetFileSize");
  checkError(function () { upload.GetFileSize(work + "\\missing.txt"); }, 0x800A0035 | 0,
             "文件未找到", "a missing file");
  // A control of its own: StartUpload leaves its package (with the file above) behind.
  upload = new ActiveXObject("VelmarisClient.FileUpload");
  upload.addFormData("author", "me");
  checkError(function () { upload.addFormData("AUTHOR", "you"); }, 0x800A01C9 | 0,
             "此键已经与该集合的一个元素相关联", "a key given twice");
  upload.AddUploadFile("a.txt", path);
  checkError(function () { upload.AddUploadFile("other", path); }, 0x800A270F | 0,
             "应用程序定义或对象定义错误", "a file given twice");

});
step("OfficeImport and the picture controls", function () {
  // A text posted as an article; the picture controls and the office import take their settings.
  var office = new ActiveXObject("VelmarisClient.OfficeImport");
  office.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008/05", 12, "编辑", 3, 2);
  check(office.ImportTxt("标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\n", "12a", "王五"), 1, "ImportTxt");
  check(fso.FileExists(serverRoot + "\\articles\\000001.json"), true, "the article stored");
  var names = ["VelmarisClient.ImageUpload", "VelmarisClient.ImageImport"];
  for (var i = 0; i < names.length; ++i) {
    var pictures = new ActiveXObject(names[i]);
    pictures.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "2008", 5, "编辑", "W");
  }
});

step("an office program that is not there", function () {
  // The importers look the programs up by program id in the registry; none is installed here.
  var office = new ActiveXObject("VelmarisClient.OfficeImport");
  var imports = [["ImportDocFile", "Word.Application"], ["ImportXlsFile", "Excel.Application"],
                 ["ImportPPTFile", "PowerPoint.Application"]];
  for (var i = 0; i < imports.length; ++i) {
    var refused = "";
    try {
      office[imports[i][0]](work + "\\a.doc", "1", "u");
    } catch (e) {
      refused = e.description;
    }
    check(refused.indexOf("ActiveX 部件不能创建对象：本机没有安装 " + imports[i][1]) >= 0, true,
          imports[i][0] + " refused: " + refused);
  }
  var temp = new ActiveXObject("WScript.Shell").ExpandEnvironmentStrings("%TEMP%");
  var folder = temp + "\\doc2html";
  check(fso.FolderExists(folder) ? fso.GetFolder(folder).Files.Count : 0, 0, "files left behind");
});

WScript.Echo(failures === 0 ? "PASS" : failures + " FAILED");
WScript.Quit(failures === 0 ? 0 : 1);
