' An exception inside Execute reaches VBScript as an error with the object's
' source and the engine's description; Message keeps its previous text.
'   errors.vbs INPUT OUTPUT_IN_A_MISSING_FOLDER EXPECTED_DESCRIPTION
Option Explicit
Dim failures, o, before, result, number, source, description
failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Set o = CreateObject("TavomirCOM.Tavomir")
o.Operation = "F"
o.Format = "XYZ"
o.Execute
before = o.Message

o.Format = "RSA"
o.FileInputOne = WScript.Arguments(0)
o.FileOutputOne = WScript.Arguments(1)
On Error Resume Next
result = o.Execute
number = Err.Number
source = Err.Source
description = Err.Description
On Error GoTo 0
Check number <> 0, "Execute raised an error"
Check source = "TavomirCOM.Tavomir", "source: " & source
Check description = WScript.Arguments(2), "description: " & description
Check o.Message = before, "Message unchanged: " & o.Message
WScript.Quit failures
