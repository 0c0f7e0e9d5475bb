#pragma once
// UTF-8 text of the library as Windows' wide strings and back, and the
// system's message for an error code. Windows only.
#include <string>

namespace widepath {

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
// FormatMessage's text of a GetLastError() or HRESULT code, without the
// trailing line break; the code in hexadecimal when the system has none.
std::string systemMessage(unsigned long code);

}  // namespace widepath
