// A page that drives the upload controls, as the content system's editor page does.
//
//   velmaris run examples/demo.js FOLDER      (with VELMARIS_SERVER=http://host:port)
//
// FOLDER holds the sample files to upload. Each upload names a directory on the server, the
// server's upload address, the local file and a content id; when StartUpload returns, the
// server's answer (the stored file's address, or "Error") is in NewFileName.

var server = host.env("VELMARIS_SERVER");
var folder = host.args[0];
if (!server || !folder) {
  throw new Error("usage: VELMARIS_SERVER=http://127.0.0.1:PORT velmaris run demo.js FOLDER");
}
var uploadAddress = server + "/upload.asp";

// The page creates the control by its class name, as a browser page would.
var upload = new ActiveXObject("VelmarisClient.FileUpload");
upload.TestOK();  // succeeds once the control is loaded and answers script
print("FileUpload is ready; uploading to " + uploadAddress);

var files = [
  {name: "hello.txt", directory: "demo", contentId: 1},
  {name: "articles.csv", directory: "demo/data", contentId: 2},
  {name: "通知.txt", directory: "通知/2024", contentId: 3}  // a Chinese directory on the server
];
for (var i = 0; i < files.length; ++i) {
  var f = files[i];
  var local = folder + "/" + f.name;
  // StartUpload waits for the transfer to end (the message loop keeps running meanwhile).
  upload.StartUpload(f.directory, uploadAddress, local, f.contentId);
  print(f.name + " (" + upload.GetFileSize(local) + " bytes) -> " + upload.NewFileName);
}

// The same upload over HTTPS: the address says https, the certificate is checked against the
// host's name (the demo's server has one from an authority made for the run, named to the host in
// SSL_CERT_FILE); everything else is as over HTTP.
var secureServer = host.env("VELMARIS_SECURE_SERVER");
if (secureServer) {
  upload.StartUpload("安全", secureServer + "/upload.asp", folder + "/hello.txt", 6);
  print("hello.txt over HTTPS -> " + upload.NewFileName);
}

// A server that answers 404 or 500 leaves "Error" in NewFileName; the call itself succeeds.
upload.StartUpload("demo", server + "/_fault/404/upload.asp", folder + "/hello.txt", 4);
print("a server answering 404 -> " + upload.NewFileName);

// A malformed address is refused before anything is sent: the call fails with an error the
// page can catch, carrying the classic number and a description.
try {
  upload.StartUpload("demo", "ftp://127.0.0.1/upload.asp", folder + "/hello.txt", 5);
} catch (e) {
  print("a bad address -> error " + e.number + ": " + e.description);
}

// MultiUpload sends a whole folder tree, one request per file. The person at the screen picks
// the folder and presses the start button; here the host plays that part.
var multi = null;
try {
  multi = new ActiveXObject("VelmarisClient.MultiUpload");
} catch (e) {
  print("MultiUpload is not available here: " + e.description);
}
if (multi) {
  var form = host.form(multi);
  host.answerFolder(folder);            // the answer the folder picker will get
  form.click("Command1");               // "..." opens the picker
  multi.StartUpload("批量", uploadAddress);
  form.click("Command2");               // "开始上传" walks the tree
  var shown = host.messages;
  print("MultiUpload sent " + folder + " -> " + shown[shown.length - 1].text);
}

// OfficeImport turns documents into articles. Init gives it the upload and post addresses, the
// server directory, the column and the editor; ImportTxt marks up a text as an article (its first
// line is the title, a line "作者：" names the author) and posts it. Documents listed on the
// control's form go through its start button, each entry marked "...完成" once it is done.
var office = null;
try {
  office = new ActiveXObject("VelmarisClient.OfficeImport");
} catch (e) {
  print("OfficeImport is not available here: " + e.description);
}
if (office) {
  office.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "articles", 7, "编辑部");
  var posted = office.ImportTxt("春季招生通知\r\n作者：教务处\r\n今年春季招生工作即将开始。\r\n", "7", "编辑部");
  print("ImportTxt posted an article -> " + posted);
  var officeForm = host.form(office);
  officeForm.drop("List1", [folder + "/通知.txt"]);  // as if dragged from the desktop
  officeForm.click("Command3");                      // the start button
  print("OfficeImport list after the run -> " + officeForm.get("List1").items[0]);
}


// ImageUpload sends a batch of pictures, each with the thumbnail and watermark options of its form,
// and posts one article per picture made from the server's answer. The editor lists pictures in
// the add dialog (the first is previewed with its size) and presses "开始导入"; the form's log
// tells how it went. The pictures here are the samples the tests use.
var pictures = folder + "/../../tests/data/image";
var imageUpload = null;
try {
  imageUpload = new ActiveXObject("VelmarisClient.ImageUpload");
} catch (e) {
  print("ImageUpload is not available here: " + e.description);
}
if (imageUpload) {
  imageUpload.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "pictures", 8, "摄影部",
                   "版权所有");
  var uploadForm = host.form(imageUpload);
  host.answerFileDialog(pictures + "\0a.jpg\0c.gif");  // two files chosen in one folder
  uploadForm.click("btnAddFile");
  print("ImageUpload previews " + uploadForm.get("lblImgName").text.replace("\r\n", ", "));
  uploadForm.check("optNameByPic", true);               // each article titled by its picture
  uploadForm.click("btnBegin");                         // answers the question with Yes
  print("ImageUpload log:\n" + uploadForm.get("txtLog").text);
}

// ImageImport asks the server for pictures of reduced size (here half of each) and, by default,
// puts every picture of the batch into one article, each with its title under it.
var imageImport = null;
try {
  imageImport = new ActiveXObject("VelmarisClient.ImageImport");
} catch (e) {
  print("ImageImport is not available here: " + e.description);
}
if (imageImport) {
  imageImport.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "pictures", 8, "摄影部",
                   "");
  var importForm = host.form(imageImport);
  host.answerFileDialog(pictures + "\0A.gif\0B.bmp");
  importForm.click("btnAddFile");
  print("ImageImport reduces to " + importForm.get("cmbScale").text + ", mode: one article");
  importForm.click("btnBegin");
  print("ImageImport log:\n" + importForm.get("txtLog").text);
}

// The office importers: the office program (here a headless LibreOffice) converts the document,
// the control cleans the HTML, uploads the pictures and posts the article. ImportDocFile makes one
// article page per printed page, ImportDocFileOnePage one page for the whole document,
// ImportXlsFile one page per sheet, ImportPPTFile one picture per slide at the size in the
// control's boxes. The start button sends .doc(x), .xls(x) and .ppt(x) entries to them; here the
// page calls them itself with documents it writes in the open formats the office also reads.
if (office) {
  var scratch = (host.env("TEMP") || host.env("TMPDIR") || "/tmp") + "/velmaris-demo-office";
  var ns = 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" ' +
           'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" ' +
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" ' +
           'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" ' +
           'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" ' +
           'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" ' +
           'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"';
  function flat(kind, body, styles) {
    return '<?xml version="1.0" encoding="UTF-8"?><office:document ' + ns +
           ' office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.' + kind +
           '">' + (styles || "") + "<office:body>" + body + "</office:body></office:document>";
  }
  var logo = '<draw:frame draw:name="logo" text:anchor-type="as-char" svg:width="2cm" ' +
             'svg:height="2cm"><draw:image><office:binary-data>iVBORw0KGgoAAAANSUhEUgAAABAAAAAQ' +
             'CAIAAACQkWg2AAAAFklEQVR4nGM4ISdHEmIY1TCqYfhqAADkYgQQ60fIxgAAAABJRU5ErkJggg==' +
             "</office:binary-data></draw:image></draw:frame>";
  var report = scratch + "/年度报告.fodt";
  host.writeFile(report, flat("text",
      "<office:text><text:p>第一页：工作回顾</text:p><text:p>" + logo + "</text:p>" +
      '<text:p text:style-name="NewPage">第二页：明年计划</text:p></office:text>',
      '<office:automatic-styles><style:style style:name="NewPage" style:family="paragraph">' +
      '<style:paragraph-properties fo:break-before="page"/></style:style>' +
      "</office:automatic-styles>"));
  var book = scratch + "/销售统计.fods";
  host.writeFile(book, flat("spreadsheet",
      '<office:spreadsheet><table:table table:name="一季度"><table:table-row>' +
      "<table:table-cell><text:p>华东</text:p></table:table-cell><table:table-cell " +
      'office:value-type="float" office:value="120"><text:p>120</text:p></table:table-cell>' +
      '</table:table-row></table:table><table:table table:name="二季度"><table:table-row>' +
      "<table:table-cell><text:p>华北</text:p></table:table-cell></table:table-row>" +
      "</table:table></office:spreadsheet>"));
  var slides = scratch + "/产品介绍.fodp";
  host.writeFile(slides, flat("presentation",
      '<office:presentation><draw:page draw:name="1" draw:master-page-name="Default">' +
      '<draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box>' +
      "<text:p>新产品发布</text:p></draw:text-box></draw:frame></draw:page>" +
      '<draw:page draw:name="2" draw:master-page-name="Default"><draw:frame svg:x="2cm" ' +
      'svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>谢谢</text:p>' +
      "</draw:text-box></draw:frame></draw:page></office:presentation>",
      '<office:master-styles><style:master-page style:name="Default"/></office:master-styles>'));

  var imports = [
    ["ImportDocFile", report, "one article page per printed page"],
    ["ImportDocFileOnePage", report, "the whole document as one page"],
    ["ImportXlsFile", book, "one page per sheet, titled by the first sheet"],
    ["ImportPPTFile", slides, "one 800 x 600 picture per slide"]
  ];
  for (var d = 0; d < imports.length; ++d) {
    var name = imports[d][0];
    try {
      var done = office[name](imports[d][1], "7", "编辑部");
      print(name + " (" + imports[d][2] + ") -> " + done);
    } catch (e) {
      // Without an office program on this machine the importers say so.
      print(name + " failed: error " + e.number + ": " + e.description);
    }
  }
  // A column id that is no number is refused before the office is touched.
  try {
    office.ImportDocFile(report, "abc", "编辑部");
  } catch (e) {
    print("ImportDocFile with column abc -> error " + e.number + ": " + e.description);
  }
}

print("See what arrived: " + server + "/");
