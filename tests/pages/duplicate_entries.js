// The package refuses a field name twice (ignoring case) and the same local file twice.
host.include("lib/assert.js");

var control = newControl();
var path = localFile("a.txt", "x");
control.addFormData("author", "me");
checkError(function () { control.addFormData("AUTHOR", "you"); }, 0x800A01C9 | 0,
           "此键已经与该集合的一个元素相关联", undefined, "duplicate field");
control.AddUploadFile("a.txt", path);
checkError(function () { control.AddUploadFile("other", path); }, 0x800A270F | 0,
           "应用程序定义或对象定义错误",
           "CompondFile:AddUploadFile Method", "duplicate file");
