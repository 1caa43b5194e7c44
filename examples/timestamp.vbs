' Time-stamps a file with TavomirCOM ("T") and checks the stamp ("V") (the
' VBScript twin of timestamp.js).
'
'   cscript //Nologo timestamp.vbs FILE TOKEN_FILE
'
' The time-stamp authority's URL (USAR_TSP, URL_TSP) and the CA certificate
' that issued its certificate (USAR_AC, CERT_AC) come from the settings.
' TOKEN_FILE receives the token as base64 text; the check prints its date,
' serial number and digest. The exit status is the number of operations
' that failed.
Option Explicit

Dim args, tavomir, failed
Set args = WScript.Arguments
If args.Count < 2 Then
    WScript.Echo "usage: cscript //Nologo timestamp.vbs FILE TOKEN_FILE"
    WScript.Quit 2
End If
Set tavomir = CreateObject("TavomirCOM.Tavomir")
failed = 0

Sub Run(title, operation, tokenField)
    Dim ok
    tavomir.Clear
    tavomir.Operation = operation
    tavomir.FileInputOne = args(0)
    If tokenField = "out" Then tavomir.FileOutputOne = args(1) Else tavomir.FileInputTwo = args(1)
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

Run "time stamp (T)", "T", "out"
Run "its check (V)", "V", "in"
WScript.Quit failed
