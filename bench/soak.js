// The soak's page: uploads one file again and again through one FileUpload control, and at each
// sample point waits until the driver (bench/soak.py) has read the host's descriptors and memory.
//   velmaris run bench/soak.js WORK COUNT EVERY
var work = host.args[0];
var count = Number(host.args[1]);
var every = Number(host.args[2]);
var server = host.env("VELMARIS_SERVER");
var control = new ActiveXObject("VelmarisClient.FileUpload");

var bytes = "";
for (var i = 0; i < 4096; ++i) bytes += String.fromCharCode(32 + i * 7 % 95);
var path = work + "/soak.txt";
host.writeFile(path, bytes);

function sample(n) {
  print("sample " + n);
  // The driver writes the number back once it has measured.
  for (;;) {
    try {
      if (host.readFile(work + "/measured") === String(n)) return;
    } catch (e) {
    }
    host.pump(5);
  }
}

var wrong = 0;
sample(0);
for (var n = 1; n <= count; ++n) {
  control.StartUpload("soak", server + "/upload.asp", path, n);
  // The server keeps every copy: the first under the file's name, the n-th as soak_n.txt.
  var address = n === 1 ? "/files/soak/soak.txt" : "/files/soak/soak_" + n + ".txt";
  if (control.NewFileName !== address) ++wrong;
  if (n % every === 0) sample(n);
}
print("wrong " + wrong);
