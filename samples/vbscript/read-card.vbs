' Reads a card with the Tavrix control, late bound, as VBScript or VBA would.
' This script does not connect the control's events: a container that does (a VBA form, or
' on Windows WScript.CreateObject("Tavrix.Tavrix", "tavrix_") with a Sub tavrix_On_ReadData)
' gets the card number in its On_ReadData handler.
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
