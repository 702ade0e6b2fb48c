// A name the control does not have fails as a property read, a call and a property write.
host.include("lib/assert.js");

var control = newControl();
// DISP_E_UNKNOWNNAME; JScript reports it as its own "object doesn't support this property".
var unknown = jscript ? 0x800A01B6 | 0 : 0x80020006 | 0;
var description = engineText("对象不支持此属性或方法");
// Wine's JScript reads a name an object does not have as undefined.
if (!jscript) {
  checkError(function () { return control.NoSuchThing; }, unknown, description, undefined, "read");
}
checkError(function () { control.NoSuchThing(); }, unknown, description, undefined, "call");
// A write reaches the control's own answer on either engine.
checkError(function () { control.NoSuchThing = 1; }, 0x80020006 | 0, description, undefined, "write");
check("NoSuchThing" in control, false, "in");
check("StartUpload" in control, true, "in, for a member");
// A method cannot be assigned.
try {
  control.TestOK = 1;
  throw new Error("assigning a method succeeded");
} catch (e) {
  check(typeof e.number, "number", "assigning a method: number");
}
