' Signs a sample file with TavomirCOM: attached, detached and raw, then
' signs and envelopes it for a recipient (the VBScript twin of sign.js).
'
'   cscript //Nologo sign.vbs DATA_FOLDER OUTPUT_FOLDER
'
' DATA_FOLDER holds message.txt (the sample) and recipient.cert.der (the
' recipient's certificate); the results go to OUTPUT_FOLDER:
' message.p7m, message.p7s, message.sig and message.env.p7m.
' The exit status is the number of operations that failed.
Option Explicit

Dim args, data, out, tavomir, failed
Set args = WScript.Arguments
If args.Count < 2 Then
    WScript.Echo "usage: cscript //Nologo sign.vbs DATA_FOLDER OUTPUT_FOLDER"
    WScript.Quit 2
End If
data = args(0)
out = args(1)
Set tavomir = CreateObject("TavomirCOM.Tavomir")
failed = 0

Sub Run(title, operation, format, output, cert)
    Dim ok
    tavomir.Clear
    tavomir.Operation = operation
    tavomir.Format = format
    tavomir.FileInputOne = data & "\message.txt"
    tavomir.FileOutputOne = out & "\" & output
    tavomir.FileCert = cert
    On Error Resume Next
    ok = tavomir.Execute
    If Err.Number <> 0 Then
        WScript.Echo title & ": error " & Hex(Err.Number) & " " & Err.Description
        failed = failed + 1
        Exit Sub
    End If
    On Error GoTo 0
    If Not ok Then failed = failed + 1
    WScript.Echo title & ": Execute " & ok & ", Message " & Replace(tavomir.Message, vbCrLf, " | ")
End Sub

Run "attached (F, PKCS)", "F", "PKCS", "message.p7m", ""
Run "detached (F, PKCSD)", "F", "PKCSD", "message.p7s", ""
Run "raw (F, RSA)", "F", "RSA", "message.sig", ""
Run "enveloped (FE, PKCS)", "FE", "PKCS", "message.env.p7m", data & "\recipient.cert.der"
WScript.Quit failed
