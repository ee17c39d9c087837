' A late-bound automation client driving the service object the way Polecheck's actions reach it
' through the control object: open, claim, one window per line, text, properties, a marquee on
' line 1, close. Prints PASS/FAIL lines; the exit code is the number of failures.
Option Explicit

Dim failures
failures = 0

Sub Check(ok, what)
  If ok Then
    WScript.Echo "PASS vbs: " & what
  Else
    WScript.Echo "FAIL vbs: " & what
    failures = failures + 1
  End If
End Sub

' Waits; Wine's cscript does not implement WScript.Sleep, so the clock is watched instead.
Sub Pause(seconds)
  Dim t0
  t0 = Timer
  On Error Resume Next
  WScript.Sleep seconds * 1000
  On Error GoTo 0
  Do While Timer - t0 < seconds And Timer >= t0
  Loop
End Sub

Dim so, rc
Set so = CreateObject("JQ.POSLDisplay.1")
Check Not (so Is Nothing), "CreateObject JQ.POSLDisplay.1"

rc = so.OpenService("LineDisplay", "JQ POS POLE DISPLAY", Nothing)
Check rc = 0, "OpenService returns 0"
Check so.GetPropertyNumber(6) = 0, "ResultCode is 0 after OpenService"

rc = so.ClaimDevice(1000)
Check rc = 0, "ClaimDevice returns 0"
so.SetPropertyNumber 3, 1
Check so.GetPropertyNumber(3) = 1, "DeviceEnabled reads back 1"
Check so.GetPropertyString(1000003) = "JQ POS Pole Display", "DeviceName"

' One window per line, as the test dialog makes them.
rc = so.CreateWindow(0, 0, 1, 20, 1, 20)
Check rc = 0, "CreateWindow for line 1"
Check so.GetPropertyNumber(5003) = 1, "the new window 1 is current"
rc = so.CreateWindow(1, 0, 1, 20, 1, 20)
Check rc = 0, "CreateWindow for line 2"
Check so.GetPropertyNumber(5003) = 2, "the new window 2 is current"

rc = so.DisplayText("Line two text", 0)
Check rc = 0, "DisplayText on line 2"

so.SetPropertyNumber 5012, 0
Check so.GetPropertyNumber(5012) = 0, "InterCharacterWait reads back 0"
so.SetPropertyNumber 5015, 50
Check so.GetPropertyNumber(5015) = 50, "MarqueeUnitWait reads back 50"

' Marquee on line 1: select window 1, clear, MarqueeType init, the text, then MarqueeType left.
so.SetPropertyNumber 5003, 1
Check so.GetPropertyNumber(5003) = 1, "CurrentWindow set to 1"
rc = so.ClearText()
Check rc = 0, "ClearText"
so.SetPropertyNumber 5014, 5
rc = so.DisplayTextAt(0, 0, "Scrolling Text Line 1 ", 0)
Check rc = 0, "DisplayTextAt with MarqueeType init"
so.SetPropertyNumber 5014, 3
Check so.GetPropertyNumber(5014) = 3, "MarqueeType reads back 3"
Pause 1.5
so.SetPropertyNumber 5014, 5
Check so.GetPropertyNumber(5014) = 5, "MarqueeType back to init stops the marquee"

rc = so.CloseService()
Check rc = 0, "CloseService returns 0"
Set so = Nothing

If failures = 0 Then
  WScript.Echo "PASS vbs: session complete"
Else
  WScript.Echo "FAIL vbs: " & failures & " failure(s)"
End If
WScript.Quit failures
