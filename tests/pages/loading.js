// The control loads through the class registry and answers script: TestOK succeeds and returns
// nothing, names are matched without regard to case, and an unknown class cannot be created.
host.include("lib/assert.js");

var control = newControl();
check(control.TestOK(), undefined, "TestOK");
check(control.testok(), undefined, "testok");
// JScript calls what a method of an object of the system is "unknown".
check(typeof control.TestOK, jscript ? "unknown" : "function", "a method read as a property");
check(control.newfilename, "", "NewFileName at creation");
checkError(function () { new ActiveXObject("VelmarisClient.NoSuchControl"); }, 0x800A01AD | 0,
           engineText("Automation 服务器不能创建对象"), undefined, "unknown class");
var second = new ActiveXObject("velmarisclient.fileupload");
second.NewFileName = "second";
check(control.NewFileName, "", "controls keep their own state");
