' The same object through VBScript: every writable property round-trips, every
' read-only one refuses a put; Execute, Clear. Prints each failure; the exit
' status is their number.
Option Explicit
Dim failures, o, writable, readOnly, i, refused, value
failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Function Expected(i)
    Expected = "value " & i & " " & ChrW(241)
End Function

Set o = CreateObject("TavomirCOM.Tavomir")
writable = Array("Operation", "Format", "FileInputOne", "FileOutputOne", "FileInputTwo", "FileOutputTwo", _
                 "TypeOne", "TypeTwo", "FileCert", "OCSPFileOne", "OCSPFileTwo")
readOnly = Array("ACFile", "CRLFile", "URLOCSP", "URLTSP", "Message")
For i = 0 To UBound(writable)
    Check Eval("o." & writable(i)) = "", writable(i) & " starts empty"
    Execute "o." & writable(i) & " = Expected(" & i & ")"
Next
For i = 0 To UBound(writable)
    value = Eval("o." & writable(i))
    Check value = Expected(i), writable(i) & " round-trips: " & value
Next
For i = 0 To UBound(readOnly)
    On Error Resume Next
    Execute "o." & readOnly(i) & " = ""x"""
    refused = Err.Number <> 0
    Err.Clear
    On Error GoTo 0
    Check refused, readOnly(i) & " refuses a put"
    Check Eval("o." & readOnly(i)) = "", readOnly(i) & " stays empty"
Next

o.Operation = "FE"
o.Format = "PKCSD"
Check o.Execute = False, "FE with PKCSD fails"
Check o.Message = "1" & vbCrLf & "No se especific" & ChrW(243) & " un formato correcto", "Message: " & o.Message

o.Clear
Check o.FileCert = Expected(8), "Clear keeps FileCert"
Check o.Operation = "" And o.Message = "", "Clear empties the rest"
WScript.Quit failures
