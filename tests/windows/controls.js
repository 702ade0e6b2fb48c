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
function checkError(action, number, description, source, what) {
  try {
    action();
  } catch (e) {
    check(e.number, number, what + ": number");
    check(e.description, description, what + ": description");
    if (source !== undefined) check(e.source, source, what + ": source");
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

// FileUpload end to end: the reply is the stored file's address, the stored bytes are the file's.
var upload = new ActiveXObject("VelmarisClient.FileUpload");
var path = writeFile("a.txt", "hello from cscript");
upload.StartUpload("dir", server + "/upload.asp", path, 7);
check(upload.NewFileName, "/files/dir/a.txt", "the server's address");
check(readFile(serverRoot + "\\files\\dir\\a.txt"), "hello from cscript", "the stored file");
check(upload.GetFileSize(path), 18, "GetFileSize");
checkError(function () { upload.GetFileSize(work + "\\missing.txt"); }, 0x800A0035 | 0,
           "文件未找到", undefined, "a missing file");
upload.addFormData("author", "me");
checkError(function () { upload.addFormData("AUTHOR", "you"); }, 0x800A01C9 | 0,
           "此键已经与该集合的一个元素相关联", undefined, "a key given twice");
upload.AddUploadFile("a.txt", path);
checkError(function () { upload.AddUploadFile("other", path); }, 0x800A270F | 0,
           "应用程序定义或对象定义错误", "CompondFile:AddUploadFile Method", "a file given twice");

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

WScript.Echo(failures === 0 ? "PASS" : failures + " FAILED");
WScript.Quit(failures === 0 ? 0 : 1);
