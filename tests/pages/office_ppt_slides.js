// Presentations through the list and the start button: one article page per slide, each the
// slide's picture uploaded and shown at the size typed in the boxes (as typed), the file name
// with its extension as the title. The pictures are named by the presentation's language.
// office-document: import/slides_en.fodp ppt Results.ppt
// office-document: import/slides_en.fodp pptx Results.pptx
// office-document: fixtures/slides.fodp odp 季度汇报.odp
host.include("lib/assert.js");

var control = new ActiveXObject("VelmarisClient.OfficeImport");
var form = host.form(control);
control.Init(server + "/cms/upload.asp", server + "/cms/savepost.asp", "演示", 3, "宣传部");

// Pages of article n: each the img element of slide picture `word`1, 2, ... at the typed size.
function checkSlides(n, title, word, width, height, firstUpload) {
  var slides = article(n);
  var sent = uploads();
  check(slides.title, title, title + ": the file name with its extension");
  check(slides.pages.length, 2, title + ": one page per slide");
  check(field(slides, "content"), slides.pages.join(SEPARATOR) + SEPARATOR,
        title + ": every page followed by the separator");
  for (var i = 0; i < 2; ++i) {
    var picture = sent[firstUpload + i];
    check(picture.files[0].name, word + (i + 1) + ".jpg", title + ": picture " + (i + 1));
    check(host.readFile(serverRoot + "/files/" + picture.files[0].stored).length > 100, true,
          title + ": a picture arrived");
    check(slides.pages[i],
          '<img src="' + picture.address + '" width="' + width + '" height="' + height + '">',
          title + ": slide " + (i + 1));
  }
}

var decks = [work + "/Results.ppt", work + "/Results.pptx"];
form.setText("txtWidth", "640");
form.setText("txtHeight", " 480.0");
form.drop("List1", decks);
form.click("Command3");
check(host.messages.length, 0, "no message box");
check(JSON.stringify(form.get("List1").items),
      JSON.stringify([decks[0] + "......完成", decks[1] + "......完成"]), "both entries done");
checkSlides(1, "Results.ppt", "Slide", "640", " 480.0", 0);
checkSlides(2, "Results.pptx", "Slide", "640", " 480.0", 2);
check(uploads().length, 4, "two pictures per presentation");

// A presentation in Chinese names its pictures "幻灯片"; the page may call the importer itself,
// and the boxes give the size whatever they hold (only the start button checks them).
form.setText("txtWidth", "宽");
check(control.ImportPPTFile(work + "/季度汇报.odp", "3", "宣传部"), 1, "imported");
checkSlides(3, "季度汇报.odp", "幻灯片", "宽", " 480.0", 4);

checkError(function () { control.ImportPPTFile(decks[0], "abc", "宣传部"); }, 0x800A000D | 0,
           "类型不匹配", undefined, "a column id that is no number");
check(uploads().length, 6, "nothing more uploaded");
