' By-reference string arguments from VBScript: the control reads them and leaves the caller's
' variables as they were; a COM error of the controls' facility reaches VBScript as its low word,
' with the control's description and source.
Option Explicit
Dim server, work, fso, upload, name, file, field, value, failures
server = WScript.Arguments(0)
work = WScript.Arguments(2)
failures = 0
Set fso = CreateObject("Scripting.FileSystemObject")

Sub Check(actual, expected, what)
  If actual <> expected Then
    WScript.Echo "FAIL " & what & ": expected " & expected & ", got " & actual
    failures = failures + 1
  End If
End Sub

file = work & "\b.txt"
With fso.CreateTextFile(file, True, False)
  .Write "by reference"
  .Close
End With
Set upload = CreateObject("VelmarisClient.FileUpload")
' TypeName asks the object for its type information: the registered type library's.
Call Check(TypeName(upload), "_FileUpload", "the type information's name")
name = "b.txt"
field = "note"
value = "值"
upload.AddUploadFile name, file
upload.addFormData field, value
Call Check(name & "|" & field & "|" & value, "b.txt|note|值", "the arguments after the calls")

On Error Resume Next
upload.addFormData "NOTE", "again"
Call Check(Err.Number, 457, "a key given twice: number")
Call Check(Err.Description, "此键已经与该集合的一个元素相关联", "a key given twice: description")
Err.Clear
upload.AddUploadFile "other", file
Call Check(Err.Description, "应用程序定义或对象定义错误", "a file given twice: description")
Call Check(Err.Source, "CompondFile:AddUploadFile Method", "a file given twice: source")
On Error GoTo 0

If failures = 0 Then
  WScript.Echo "PASS"
  WScript.Quit 0
End If
WScript.Echo failures & " FAILED"
WScript.Quit 1
