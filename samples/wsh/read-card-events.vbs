' NOT RUN HERE: Wine's script host cannot connect events, so this sample is not run by the
' tests; on Windows, WScript.CreateObject connects the control's default source interface to
' the Subs whose names start with the prefix given.
'
' Run it with the cscript of the control's architecture:
'     C:\Windows\SysWOW64\cscript.exe read-card-events.vbs     (x86 control)
'     C:\Windows\System32\cscript.exe read-card-events.vbs     (x64 control)
Option Explicit

Dim tavrix
Set tavrix = WScript.CreateObject("Tavrix.Tavrix", "tavrix_")
tavrix.Read_Card "EDY"   ' tavrix_On_ReadData runs before this returns

' Error arrives as a signed byte (VT_I1); VBScript compares it as a number.
Sub tavrix_On_ReadData(card_ID, Error, Message)
    If Error = 0 Then
        WScript.Echo "Card " & card_ID
    Else
        WScript.Echo "Not read: " & Message
    End If
End Sub
