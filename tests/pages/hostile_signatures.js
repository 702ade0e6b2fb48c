// Every member of every control's interface, called with what it cannot take: too few and too
// many arguments, objects, arrays, functions, null, a control, undefined, and for numbers text
// that is no number or a number beyond 32 bits. Each call fails before the control runs, with
// the number and description the interface gives it; nothing reaches the server, and every
// control still answers afterwards. On Windows the system's script engine and coercion decide
// the rows marked `engine` (undefined is an empty value there, a script object converts through its
// value, "1,5" reads with digit grouping, Wine converts NaN); those are the Linux host's alone.
host.include("lib/assert.js");

var S = "text", N = "number";
var interfaces = {
  FileUpload: [
    {name: "AddUploadFile", params: [S, S]},
    {name: "addFormData", params: [S, S]},
    {name: "UploadFile", params: []},
    {name: "TestOK", params: []},
    {name: "StartUpload", params: [S, S, S, N]},
    {name: "GetFileSize", params: [S]}
  ],
  MultiUpload: [
    {name: "AddUploadFile", params: [S, S]},
    {name: "addFormData", params: [S, S]},
    {name: "UploadFile", params: []},
    {name: "StartUpload", params: [S, S]}
  ],
  OfficeImport: [
    {name: "Init", params: [S, S, S, N, S], optional: [N, N]},
    {name: "addFormData", params: [S, S]},
    {name: "TestOK", params: []},
    {name: "StartUpload", params: [S, S, N]},
    {name: "ImportTxtFile", params: [S, N, S]},
    {name: "ImportDocFile", params: [S, S, S]},
    {name: "ImportDocFileOnePage", params: [S, S, S]},
    {name: "ImportPPTFile", params: [S, S, S]},
    {name: "ImportXlsFile", params: [S, S, S]},
    {name: "ImportTxt", params: [S, S, S]}
  ],
  ImageUpload: [
    {name: "Init", params: [S, S, S, N, S, S], optional: [N, N]},
    {name: "addFormData", params: [S, S]},
    {name: "StartUpload", params: [S]}
  ],
  ImageImport: [
    {name: "Init", params: [S, S, S, N, S, S], optional: [N, N]},
    {name: "addFormData", params: [S, S]},
    {name: "StartUpload", params: [S]}
  ]
};

var other = newControl();
var countMessage = engineText("错误的参数个数或无效的属性赋值");
// What no parameter takes, and what a number parameter does not take besides.
function refusals(rows) {
  var kept = [];
  for (var i = 0; i < rows.length; ++i) {
    var row = rows[i];
    if (jscript && row[4]) continue;
    kept.push({what: row[0], value: row[1], number: row[2], description: engineText(row[3])});
  }
  return kept;
}
var mismatch = "类型不匹配", overflow = "溢出", engine = true;
var badForAny = refusals([
  ["an object", {}, E.hostTypeMismatch, mismatch, engine],
  ["an array", ["a", 1], E.hostTypeMismatch, mismatch, engine],
  ["a function", function () {}, E.hostTypeMismatch, mismatch, engine],
  ["null", null, E.typeMismatch, mismatch],
  ["a control", other, E.typeMismatch, mismatch]
]);
var badForNumber = refusals([
  ["\"12a\"", "12a", E.typeMismatch, mismatch],
  ["\"\"", "", E.typeMismatch, mismatch],
  ["\"1,5\"", "1,5", E.typeMismatch, mismatch, engine],
  ["2^31", 2147483648, E.overflow, overflow],
  ["-1e10", -1e10, E.overflow, overflow],
  ["NaN", NaN, E.overflow, overflow, engine],
  ["Infinity", Infinity, E.overflow, overflow]
]);
var required = refusals([["undefined", undefined, E.notOptional, "参数不可选", engine]]);

function goodValue(type) {
  return type === N ? 1 : "v";
}

// Called by name, not read first: JScript reads a control's method as no function.
function call(control, name, args) {
  var a = args;
  switch (a.length) {
    case 0: return control[name]();
    case 1: return control[name](a[0]);
    case 2: return control[name](a[0], a[1]);
    case 3: return control[name](a[0], a[1], a[2]);
    case 4: return control[name](a[0], a[1], a[2], a[3]);
    case 5: return control[name](a[0], a[1], a[2], a[3], a[4]);
    case 6: return control[name](a[0], a[1], a[2], a[3], a[4], a[5]);
    case 7: return control[name](a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8: return control[name](a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    default: return control[name](a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
  }
}

var before = requestCount();
var calls = 0;
for (var progid in interfaces) {
  var control = new ActiveXObject("VelmarisClient." + progid);
  var members = interfaces[progid];
  for (var m = 0; m < members.length; ++m) {
    var member = members[m];
    var params = member.params;
    var all = params.concat(member.optional || []);
    var good = [];
    for (var g = 0; g < all.length; ++g) good.push(goodValue(all[g]));
    var where = progid + "." + member.name;

    // Argument counts: each count short of the required ones, and one beyond all of them.
    for (var given = 0; given < params.length; ++given) {
      checkError(function () { call(control, member.name, good.slice(0, given)); },
                 E.paramCount, countMessage, undefined, where + " with " + given + " arguments");
      ++calls;
    }
    checkError(function () { call(control, member.name, good.concat(["extra"])); },
               E.paramCount, countMessage, undefined, where + " with an extra argument");
    ++calls;

    // Each parameter in turn given what it cannot take, the others good.
    for (var p = 0; p < all.length; ++p) {
      var bad = badForAny.concat(all[p] === N ? badForNumber : []);
      if (p < params.length) bad = bad.concat(required);
      for (var b = 0; b < bad.length; ++b) {
        var args = good.slice();
        args[p] = bad[b].value;
        checkError(function () { call(control, member.name, args); }, bad[b].number,
                   bad[b].description, undefined,
                   where + " with " + bad[b].what + " as argument " + (p + 1));
        ++calls;
      }
    }
  }
  control.addFormData("still", "answers");
}
check(calls > (jscript ? 150 : 250), true, "the table reached every member (" + calls + " calls)");

// The one property: a put takes one text, a get takes none.
other.NewFileName = "kept";
var puts = badForAny.concat(required);
for (var i = 0; i < puts.length; ++i) {
  checkError(function () { other.NewFileName = puts[i].value; }, puts[i].number,
             puts[i].description, undefined, "NewFileName = " + puts[i].what);
}
check(other.NewFileName, "kept", "NewFileName after the refused puts");
other.TestOK();

check(requestCount(), before, "nothing reached the server");
