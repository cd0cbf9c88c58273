' Calls Testbay.Document as test-stand scripts do; com_server.sh compares
' the echoed lines with com_script.expected.
Set doc = CreateObject("Testbay.Document")
WScript.Echo "version " & Len(doc.GetTestbayVersion)
n = 16
r = doc.getledcount(n)
WScript.Echo "GetLedCount " & r & " " & n
On Error Resume Next
doc.NoSuchMethod
WScript.Echo "unknown name " & Err.Number
Err.Clear
doc.SetLed 1
WScript.Echo "argument count " & Err.Number
Err.Clear
doc.SetLed "one", True
WScript.Echo "text for a number " & Err.Number
Err.Clear
Set other = CreateObject("Testbay.Document")
WScript.Echo "second object " & Len(other.GetTestbayVersion()) & " " & Err.Number
Set other = Nothing
WScript.Echo "still answering " & doc.IsActiv & " " & Err.Number
Set doc = Nothing
