// One FileUpload from a page script, timed as bench/bridge_page.html times the same call through
// the bridge: from just before it to its return. Prints {ms, answer} as JSON.
//   velmaris run bench/bridge_upload.js URL FILE
var control = new ActiveXObject("VelmarisClient.FileUpload");
var start = performance.now();
control.StartUpload("bench", host.args[0], host.args[1], 1);
var ms = performance.now() - start;
print(JSON.stringify({ms: ms, answer: control.NewFileName}));
