// Imports one text file with OfficeImport.ImportTxtFile, for bench/upload_bench.py --text-mib.
//   velmaris run bench/text_import.js FILE
var server = host.env("VELMARIS_SERVER");
var control = new ActiveXObject("VelmarisClient.OfficeImport");
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "bench", 1, "bench");
control.ImportTxtFile(host.args[0], 1, "bench");
