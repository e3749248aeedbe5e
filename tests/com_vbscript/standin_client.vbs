' The stand-in's automation server as a Visual Basic client meets it: Wine's VBScript, which
' passes its variables by reference (VT_BYREF|VT_VARIANT) and its literals by value. Expects the
' demo installation, its company A current and unlocked. Prints a line for each check, then
' "done: N failed".
Option Explicit

Dim failures
failures = 0

Sub Check(passed, what)
    If passed Then
        WScript.Echo "ok   " & what
    Else
        WScript.Echo "FAIL " & what
        failures = failures + 1
    End If
End Sub

Dim systemGlobal, database, letter, key, workstation, lockName, path
Set systemGlobal = CreateObject("Norlix.SystemGlobal")
Set database = systemGlobal.Instance

letter = "A"
database.CompanyLetter = letter
Check database.CompanyLetter = "A", "CompanyLetter is put and read back"
key = "Companyname"
Check database.CompanySetting(key) = "Alder Joinery Ltd", "CompanySetting(variable)"
Check database.CompanySetting("AcctDBtidyMonth") = "2025-10", "CompanySetting(literal)"
Check Right(database.DatabaseLocation, 1) = "\", "DatabaseLocation ends with a separator"
path = database.DatabaseLocation & database.DatabaseFileName
Check database.FileExists(path), "FileExists(DatabaseLocation & DatabaseFileName)"
Check Not database.FileExists(path & ".missing"), "FileExists of a missing file is False"

workstation = "VBSCRIPT-PC"
lockName = "LA"
Check database.LockOwner(lockName) = "", "LockOwner of a free lock is empty"
Check database.AccountsLock(workstation, "LOCK") = workstation, "AccountsLock LOCK takes the lock"
Check database.LockOwner("LA") = workstation, "LockOwner names the holder"
Check database.AccountsLock(workstation, "UNLOCK") = "", "AccountsLock UNLOCK gives it back"

' A working object of its own for each operation, as Prismor fetches them.
Check systemGlobal.Instance.CompanyLetter = "A", "a fresh Instance sees the current company"

On Error Resume Next
letter = "#"
database.CompanyLetter = letter
Check Err.Number <> 0, "an invalid company letter raises an error"
Check InStr(Err.Description, "#") > 0, "Err.Description names the letter: " & Err.Description
Err.Clear
database.DatabaseLocation
Check Err.Number = 438, "a property called as a statement is no method (438): " & Err.Number
Err.Clear
database.NoSuchMember
Check Err.Number <> 0, "an unknown member raises an error"
Err.Clear
On Error GoTo 0
database.CompanyLetter = "A"

Dim converter, text
Set converter = CreateObject("Norlix.NumberConverter").Converter
text = " 6.123 and more"
Check converter.ToNumber(text) = 6.123, "ToNumber(variable text)"
Check converter.ToNumber(42) = 42, "ToNumber(Integer literal)"
Check converter.ToNumber("no number") = 0, "ToNumber of text without a number is 0"
Check converter.ToNumber(Empty) = 0, "ToNumber(Empty) is 0"

Dim dialog, title, answer
Set dialog = CreateObject("Norlix.ChoiceDialog")
On Error Resume Next
answer = dialog.ShowChoice("T", "M", "OK", "warning", 100000)
Check Err.Number <> 0, "ShowChoice with a Number that is no Integer raises an error"
Err.Clear
On Error GoTo 0
' The test's driver answers with Enter: the focus is on the first button.
title = "CAUTION"
answer = dialog.ShowChoice(title, "Cannot lock the accounts.", "Retry  Exit  Unlock", "warning", 0)
Check answer = "Retry", "ShowChoice gives back the button chosen: " & answer

' Wine's cscript ends with status 0 and says nothing when a run-time error stops the script: the
' last line is what tells that it ran to the end.
WScript.Echo "done: " & failures & " failed"
WScript.Quit failures
