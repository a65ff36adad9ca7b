' Reads twice with Norvane.CardReader, as a VBScript client would, and writes one line a read
' to a UTF-16 report file (the console's code page cannot carry Japanese text to the test):
'   good|<ErrorCode>|<CardID>|<Message>    or failed|...   when Read returned True or False
'   fault|<Err.Number>|<Err.Description>|<ErrorCode>|<CardID>|<Message>   when Read raised an error
'   cscript //nologo read.vbs <ctype> <report file>
Option Explicit

Dim reader, report, good, outcome, i
Set report = CreateObject("Scripting.FileSystemObject").CreateTextFile(WScript.Arguments(1), True, True)
Set reader = CreateObject("Norvane.CardReader")
For i = 1 To 2
    good = Empty
    On Error Resume Next
    good = reader.Read(WScript.Arguments(0))
    If Err.Number <> 0 Then
        outcome = "fault|" & Hex(Err.Number) & "|" & Err.Description
    ElseIf good Then
        outcome = "good"
    Else
        outcome = "failed"
    End If
    On Error GoTo 0
    report.WriteLine outcome & "|" & reader.ErrorCode & "|" & reader.CardID & "|" & reader.Message
Next
report.Close
