' The same object through VBScript: round trips, a refused put, Execute.
Option Explicit
Dim failures, o, refused
failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Set o = CreateObject("TavomirCOM.Tavomir")
Check o.Operation = "", "Operation starts empty"
o.Operation = "FE"
o.FileCert = "C:\certs\recipient.cer"
o.OCSPFileTwo = "resp " & ChrW(241)
Check o.Operation = "FE", "Operation round-trips"
Check o.FileCert = "C:\certs\recipient.cer", "FileCert round-trips"
Check o.OCSPFileTwo = "resp " & ChrW(241), "OCSPFileTwo round-trips"

On Error Resume Next
o.Message = "x"
refused = Err.Number <> 0
Err.Clear
On Error GoTo 0
Check refused, "Message refuses a put"

o.Format = "PKCSD"
Check o.Execute = False, "FE with PKCSD fails"
Check o.Message = "1" & vbCrLf & "No se especific" & ChrW(243) & " un formato correcto", "Message: " & o.Message
WScript.Quit failures
