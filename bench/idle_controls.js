// Creates COUNT FileUpload controls and leaves them idle while the loop runs for MS milliseconds:
//   velmaris run bench/idle_controls.js COUNT MS
var count = Number(host.args[0]);
var controls = [];
for (var i = 0; i < count; ++i) controls.push(new ActiveXObject("VelmarisClient.FileUpload"));
host.pump(Number(host.args[1]));
