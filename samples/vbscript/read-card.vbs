' Reads a card with the Tavrix control, late bound, from a script host. Run it with the cscript
' of the control's architecture:
'     C:\Windows\SysWOW64\cscript.exe read-card.vbs     (x86 control; on 32-bit Windows, System32)
'     C:\Windows\System32\cscript.exe read-card.vbs     (x64 control)
' This script connects no events, so the card number does not reach it: a host that connects
' them (on Windows, WScript.CreateObject("Tavrix.Tavrix", "tavrix_") with a Sub
' tavrix_On_ReadData: samples/wsh) gets it in its handler; or use the reader object
' Norvane.CardReader, which hands the last read's results back as properties.
Option Explicit

Dim tavrix
Set tavrix = CreateObject("Tavrix.Tavrix")
WScript.Echo "Caption: " & tavrix.Caption
tavrix.Caption = "Kiosk"

On Error Resume Next
Call tavrix.Read_Card("EDY")
If Err.Number <> 0 Then
    WScript.Echo "Read_Card failed: 0x" & Hex(Err.Number) & " from " & Err.Source
    WScript.Quit 2
End If
On Error GoTo 0
WScript.Echo "Read_Card done: the result arrives as On_ReadData"
