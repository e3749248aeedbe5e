#pragma once

// The classes that the test COM server serves, shared by the server and the tests that register
// it. Each stands in for one Norlix component under a ProgID of the tests' own.

#include <com/automation_server.h>

inline constexpr AutomationServer::ServedClass testSystemGlobal { L"PrismorTest.SystemGlobal",
    L"{C89518BE-B193-4B17-BB66-EFE4DACF5661}", L"The test database" };
inline constexpr AutomationServer::ServedClass testNumberConverter {
    L"PrismorTest.NumberConverter", L"{F7E5A9E5-F786-498E-B224-3CC6A9274B29}",
    L"The test converter" };
inline constexpr AutomationServer::ServedClass testChoiceDialog { L"PrismorTest.ChoiceDialog",
    L"{E57977EA-8207-40EC-AAAA-DC76FBCC9FFC}", L"The test dialog" };

// What the server exports besides COM's entry points, for the tests to look inside it.
extern "C" {
// How many objects of the class (SystemGlobal, CompanyDatabase, NumberConverter, Converter,
// ChoiceDialog) are alive.
using TestServerLiveObjects = long (*)(const wchar_t *className);
// Every member invoked since the last reset, one line each: "Class.Member FLAGS TYPE=value...",
// arguments in their declared order, then "named:DISPID" for each named argument.
using TestServerLog = const wchar_t *(*)();
// Clears the log and puts company A back as current, its lock free.
using TestServerReset = void (*)();
}
