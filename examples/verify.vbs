' Opens and verifies with TavomirCOM what sign.js wrote (the VBScript twin
' of verify.js): the attached signature (compared with the sample), the
' detached one, the raw one and the signed envelope.
'
'   cscript //Nologo verify.vbs DATA_FOLDER OUTPUT_FOLDER
'
' DATA_FOLDER holds message.txt and signer.cert.der; OUTPUT_FOLDER holds what
' sign.js wrote there, and receives opened.txt. The raw signature needs a
' revocation check configured (a CRL). The exit status is the number of
' operations that failed.
Option Explicit

Dim args, data, out, tavomir, failed
Set args = WScript.Arguments
If args.Count < 2 Then
    WScript.Echo "usage: cscript //Nologo verify.vbs DATA_FOLDER OUTPUT_FOLDER"
    WScript.Quit 2
End If
data = args(0)
out = args(1)
Set tavomir = CreateObject("TavomirCOM.Tavomir")
failed = 0

Sub Report(title)
    Dim ok
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

Sub OpenAndCompare(title, kind, secured, output)
    tavomir.Clear
    tavomir.Operation = "A"
    tavomir.TypeOne = kind
    tavomir.FileInputOne = secured
    tavomir.FileOutputOne = output
    tavomir.TypeTwo = "N"
    tavomir.FileInputTwo = data & "\message.txt"
    Report title
End Sub

OpenAndCompare "attached, compared (A, F and N)", "F", out & "\message.p7m", out & "\opened.txt"

tavomir.Clear
tavomir.Operation = "AV"
tavomir.FileInputOne = data & "\message.txt"
tavomir.FileInputTwo = out & "\message.p7s"
Report "detached (AV)"

tavomir.Clear
tavomir.Operation = "ARSA"
tavomir.FileInputOne = data & "\message.txt"
tavomir.FileInputTwo = out & "\message.sig"
tavomir.FileCert = data & "\signer.cert.der"
Report "raw (ARSA)"

OpenAndCompare "enveloped, compared (A, E and N)", "E", out & "\message.env.p7m", "NULL"
WScript.Quit failed
