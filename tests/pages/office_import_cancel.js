// Cancel pressed while the second of three documents is being imported: the second document is
// finished and marked, the third is left for the next run, and a start pressed while the
// cancelled run finishes is ignored.
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
// Each article post takes about 0.8 s, so the clicks below land while the second one runs.
control.Init(server + "/cms/upload.asp", server + "/_fault/slow-800/cms/savepost.asp", "d", 7,
             "编辑");

var paths = [localFile("1.txt", "一\r\n"), localFile("2.txt", "二\r\n"), localFile("3.txt", "三\r\n")];
form.drop("List1", paths);

var seen = null;
host.later(1200, function () {
  seen = form.get("List1").items[1];
  form.click("Command4");
  form.click("Command3");  // ignored: the cancelled run is still finishing its document
});
form.click("Command3");

check(seen, paths[1] + "...", "the cancel came during the second document");
check(JSON.stringify(form.get("List1").items),
      JSON.stringify([paths[0] + "......完成", paths[1] + "......完成", paths[2]]),
      "the running document finished, the third was left");
check(form.get("Command3").enabled, true, "idle again");
check(uploads().length, 0, "nothing uploaded");

form.click("Command3");
check(form.get("List1").items[2], paths[2] + "......完成", "the next run takes the rest");
