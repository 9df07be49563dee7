// <windows.h> as the Windows layer takes it: without the min/max macros
// that break std::min, without the rarely used parts, and without the
// A/W name macros that would rename the core's own MessageBox, CreateFile,
// ... wherever this header is seen. The layer calls the W functions by
// their full names. Only files under a windows/ folder include it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

#undef MessageBox
#undef CreateFile
#undef DeleteFile
#undef CopyFile
#undef MoveFile
#undef ReplaceFile
#undef CreateDirectory
#undef RemoveDirectory
#undef GetTempPath
#undef GetFileAttributes
#undef CreateProcess
#undef CreateMutex
#undef GetModuleFileName
#undef FormatMessage
#undef SearchPath
#undef GetCommandLine
#undef GetObject
#undef PostMessage
#undef SendMessage
#undef FindWindow
#undef RegisterWindowMessage
#undef LoadString
#undef GetMessage
#undef DrawText
#undef Yield
#undef ERROR
