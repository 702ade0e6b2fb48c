// A name the control does not have fails as a property read, a call and a property write.
host.include("lib/assert.js");

var control = newControl();
var unknown = 0x80020006 | 0;  // DISP_E_UNKNOWNNAME
var description = "对象不支持此属性或方法";
checkError(function () { return control.NoSuchThing; }, unknown, description, undefined, "read");
checkError(function () { control.NoSuchThing(); }, unknown, description, undefined, "call");
checkError(function () { control.NoSuchThing = 1; }, unknown, description, undefined, "write");
check("NoSuchThing" in control, false, "in");
check("StartUpload" in control, true, "in, for a member");
// A method cannot be assigned.
try {
  control.TestOK = 1;
  throw new Error("assigning a method succeeded");
} catch (e) {
  check(typeof e.number, "number", "assigning a method: number");
}
